// Run by the desktop shell in the game card and in the login page once the
// page has loaded (installed as gameview.js and loginpage.js). It makes sure
// the page can talk to the client: window.gameCard.sendMessage(text) reaches
// the shell, and a global receiveMessage(text) takes the client's messages.
// What the page or the shell already provides is kept as it is, and running
// the script twice changes nothing.
(function () {
  "use strict";

  var shellHandler = window.webkit && window.webkit.messageHandlers && window.webkit.messageHandlers.gameCard;

  if (!window.gameCard || typeof window.gameCard.sendMessage !== "function") {
    window.gameCard = {
      sendMessage: function (text) {
        if (shellHandler) {
          shellHandler.postMessage(String(text));
        } else if (window.console) {
          window.console.warn("No client to send the message to: " + text);
        }
      }
    };
  }

  // A page without its own receiver hears the client's messages as a
  // "clientmessage" event on the document, the text in event.detail.
  if (typeof window.receiveMessage !== "function") {
    window.receiveMessage = function (text) {
      document.dispatchEvent(new CustomEvent("clientmessage", { detail: String(text) }));
    };
  }
})();
