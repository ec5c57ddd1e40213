// Plays a person who closes the desktop shell's window on the login page: once
// the window is hidden, the page signs in, so that the game card loads while
// nobody looks; the card then says whether it is shown.
(function () {
  "use strict";

  var form = document.getElementById("login");
  if (form) {
    document.addEventListener("visibilitychange", function () {
      if (document.visibilityState !== "hidden") return;
      form.elements.username.value = "player";
      form.elements.password.value = "secret";
      form.submit();
    });
    window.alert("login page shown");
  } else if (document.getElementById("main-button")) {
    window.alert("card loaded while " + document.visibilityState);
  }
})();
