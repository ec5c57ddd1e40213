// Plays the user of the desktop shell in its tests: the shell's test hook runs
// it in every page once the page and its bridge are ready.
(function () {
  "use strict";

  var BASE_GAME = "1207658924";
  var EXTRA_CONTENT = "1207658925";
  var hook = window.webkit.messageHandlers.vantisTest;

  // Asks the shell for a picture of its window once the page is on screen.
  function screenshot(name, then) {
    window.addEventListener("vantistest", function taken(event) {
      if (event.detail !== name) return;
      window.removeEventListener("vantistest", taken);
      then();
    });
    requestAnimationFrame(function () {
      requestAnimationFrame(function () { hook.postMessage("screenshot:" + name); });
    });
  }

  function send(command, args) {
    window.gameCard.sendMessage(JSON.stringify({ Command: command, Arguments: args || {} }));
  }

  function signIn(form) {
    // A frame inside the page claims the sign-in redirect: it must not sign in.
    var frame = document.createElement("iframe");
    frame.src = "vantisclient://login_success?code=from-a-frame";
    document.body.appendChild(frame);
    form.elements.username.value = "player";
    form.elements.password.value = "secret";
    screenshot("login-page", function () { form.submit(); });
  }

  // The card lists what the backend offers once the client has asked it.
  function offers(layout, gameId) {
    var addons = (layout.DLCs && layout.DLCs.Addons) || [];
    return addons.some(function (addon) { return addon.id === gameId; });
  }

  function playTheCard() {
    var showLayout = window.receiveMessage;
    var installAsked = false;
    var installShown = false;
    var playAsked = false;
    window.receiveMessage = function (text) {
      showLayout(text);
      var layout = JSON.parse(text).Arguments;
      var state = layout.GameStateLabel ? layout.GameStateLabel.Label : "";
      if (!installAsked && offers(layout, EXTRA_CONTENT)) {
        installAsked = true;
        // A selection with a game the product does not offer is refused; the
        // game with its extra content, chosen on the card of a game that was
        // never installed, is installed.
        send("RevisionChange", { NewValue: [BASE_GAME, "999"] });
        send("RevisionChange", { NewValue: [BASE_GAME, EXTRA_CONTENT] });
      } else if (layout.Progress && layout.Progress.ProgressBarEnabled) {
        installShown = true;
      } else if (installShown && state === "Up to date" && !playAsked) {
        playAsked = true;
        screenshot("game-card", function () { send("LaunchPrimaryPlayTask"); });
      }
    };
  }

  var form = document.getElementById("login");
  if (form) {
    signIn(form);
  } else if (document.getElementById("main-button")) {
    playTheCard();
  }
})();
