// Plays a hostile page in the desktop shell's tests: run by the shell's test
// hook in the login page, it tries what a page of another site might. Every
// attempt must be refused and logged; "hostile page ready" tells the test to
// click, first on a link to a new window (left), then on a link to another
// site (right).
(function () {
  "use strict";

  if (!document.getElementById("login")) return;
  var handler = window.webkit.messageHandlers.gameCard;

  window.alert("hostile alert");
  window.confirm("hostile confirm");

  // The page's script itself, around its bridge.
  handler.postMessage(JSON.stringify({ Command: "SignOut", Arguments: {} }));

  // A frame posting to the bridge's handler.
  var frame = document.createElement("iframe");
  frame.srcdoc = "<script>window.webkit.messageHandlers.gameCard.postMessage(" +
    "JSON.stringify({ Command: 'SignOut', Arguments: { from: 'frame' } }));<\/script>";
  document.body.appendChild(frame);

  // A download the page starts by itself.
  var download = document.createElement("a");
  download.href = "/hostile-download.bin";
  download.download = "hostile.bin";
  document.body.appendChild(download);
  download.click();

  // A navigation to another site without anyone clicking, once the start of
  // the script (which the shell ran, as if on a person's behalf) is long past.
  setTimeout(function () {
    window.location.href = "https://elsewhere.test/by-script";
    window.alert("hostile page ready");
  }, 1500);

  // The links a person clicks: the left half of the page opens a new window,
  // the right half goes to another site.
  function link(address, left, target) {
    var element = document.createElement("a");
    element.textContent = address;
    element.href = address;
    if (target) element.target = target;
    element.style.cssText = "position:fixed;top:0;height:100vh;width:50vw;z-index:99;background:#fff;left:" + left;
    document.body.appendChild(element);
  }
  link("https://elsewhere.test/new-window", "0", "_blank");
  link("https://elsewhere.test/same-window", "50vw", null);
})();
