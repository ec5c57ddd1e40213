// Runs in every page of the desktop shell in its tests (the shell's test hook
// adds it after the page's own script). The test itself acts as the person at
// the window; this script plays what a hostile page would try.
(function () {
  "use strict";

  var BASE_GAME = "1207658924";

  // A frame inside the login page claims the sign-in redirect: it must not sign in.
  function claimSignInFromAFrame() {
    var frame = document.createElement("iframe");
    frame.hidden = true;
    frame.src = "vantisclient://login_success?code=from-a-frame";
    document.body.appendChild(frame);
  }

  // A selection with a game the product does not offer is refused.
  function askForAGameNotOffered() {
    if (!window.gameCard || window.sessionStorage.getItem("asked")) return;
    window.sessionStorage.setItem("asked", "1");
    window.gameCard.sendMessage(JSON.stringify({ Command: "RevisionChange", Arguments: { NewValue: [BASE_GAME, "999"] } }));
  }

  if (document.getElementById("login")) {
    claimSignInFromAFrame();
  } else if (document.getElementById("main-button")) {
    askForAGameNotOffered();
  }
})();
