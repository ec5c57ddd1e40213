// Plays a hostile page in the desktop shell's tests: run by the shell's test
// hook in the login page, it tries what a page of another site might. Every
// attempt must be refused and logged; "hostile page ready" tells the test to
// click, first on a link to a new window, then on a link to another site.
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

  // A navigation to another site without anyone clicking.
  setTimeout(function () { window.location.href = "https://elsewhere.test/by-script"; }, 0);

  // The link a person clicks covers the whole page.
  var link = document.createElement("a");
  link.textContent = "Elsewhere";
  link.style.cssText = "position:fixed;left:0;top:0;width:100vw;height:100vh;z-index:99;background:#fff";
  link.href = "https://elsewhere.test/new-window";
  link.target = "_blank";
  link.addEventListener("click", function () {
    setTimeout(function () {
      link.href = "https://elsewhere.test/same-window";
      link.removeAttribute("target");
      window.alert("hostile link replaced");
    }, 0);
  }, { once: true });
  document.body.appendChild(link);
  setTimeout(function () { window.alert("hostile page ready"); }, 200);
})();
