// The game card's side of the conversation with the client: the client calls
// receiveMessage with an "UpdateLayout" command; the page answers through the
// bridge object's sendMessage. Every layout shows what is true; the language
// and content controls only change a pending choice, which "Install" or
// "Apply changes" sends, after asking when it removes content or changes the
// language.
(function () {
  "use strict";

  var byId = function (id) { return document.getElementById(id); };
  var layout = null;
  var pending = null;

  function send(command, args) {
    var message = JSON.stringify({ Command: command, Arguments: args || {} });
    if (window.gameCard && window.gameCard.sendMessage) window.gameCard.sendMessage(message);
  }

  function show(id, visible) { byId(id).hidden = !visible; }
  function details() { return layout.Details || {}; }
  function installed() { return details().Installed === true; }
  function idle() { return !layout.InstallControls || !(layout.InstallControls.Pause || layout.InstallControls.Resume); }

  function languageCode(index) {
    var option = (layout.Languages.Options || [])[index];
    return option ? option.name : "";
  }

  function contentEntries() { return (layout.DLCs.Standalones || []).concat(layout.DLCs.Addons || []); }
  function entryName(id) {
    var entry = contentEntries().filter(function (item) { return item.id === id; })[0];
    return entry ? entry.name : id;
  }

  // What the card shows selected: the language and the game ids installed (or, for a
  // game never installed, the standalone games it always brings).
  function shownSelection() {
    var ids = (layout.DLCs.Selected || []).map(function (entry) { return entry.id; });
    (layout.DLCs.Standalones || []).forEach(function (entry) {
      if (ids.indexOf(entry.id) < 0) ids.push(entry.id);
    });
    return { language: layout.Languages.Selected, ids: ids };
  }

  function downloadBytes(ids, language) {
    var sizes = details().Sizes || {};
    return ids.reduce(function (total, id) {
      return total + ((sizes[id] || {})[languageCode(language)] || 0);
    }, 0);
  }

  function difference(ids, others) { return ids.filter(function (id) { return others.indexOf(id) < 0; }); }

  // What applying the pending choice would do to an installed game.
  function pendingChange() {
    var shown = shownSelection();
    var languageChanged = pending.language !== shown.language;
    var added = difference(pending.ids, shown.ids);
    return {
      languageChanged: languageChanged,
      removed: difference(shown.ids, pending.ids),
      added: added,
      download: downloadBytes(languageChanged ? pending.ids : added, pending.language),
    };
  }

  function sendInstall() {
    send("Install", { Language: languageCode(pending.language), NewValue: pending.ids });
  }

  function ask(text, onYes) {
    byId("confirm-text").textContent = text;
    show("confirm-box", true);
    byId("confirm-yes").onclick = function () {
      show("confirm-box", false);
      onYes();
    };
    byId("confirm-no").onclick = function () {
      show("confirm-box", false);
      render();
    };
  }

  function applyPending() {
    var change = pendingChange();
    if (!change.languageChanged && change.removed.length === 0) {
      sendInstall();
      return;
    }
    var parts = [];
    if (change.languageChanged) {
      parts.push("Change the language to " + byId("languages").selectedOptions[0].textContent + "?");
    }
    if (change.removed.length > 0) {
      parts.push("Remove " + change.removed.map(entryName).join(", ") + "? Its files will be deleted.");
    }
    if (change.download > 0) parts.push("About " + CardFormat.bytes(change.download) + " will be downloaded.");
    ask(parts.join(" "), sendInstall);
  }

  function fillOptions(select, options, selected) {
    select.innerHTML = "";
    (options || []).forEach(function (option) {
      var item = document.createElement("option");
      item.value = option.value;
      item.textContent = option.label || option.name;
      select.appendChild(item);
    });
    if (selected !== undefined) select.value = selected;
  }

  function renderHeading() {
    byId("title").textContent = layout.Title.Label || "";
    byId("description").textContent = details().Description || layout.Title.Subtitle || "";
    var signedIn = details().SignedIn === true;
    byId("account-name").textContent = signedIn ? details().Account || "Signed in" : "Not signed in";
    show("sign-out-button", signedIn);
    show("sign-in-button", !signedIn);
  }

  function renderMainButton() {
    var button = layout.MainButton;
    byId("main-button").textContent = button.Label;
    byId("main-button").disabled = !button.Enabled;
    byId("main-button-reason").textContent = button.Enabled ? "" : button.Reason || "";
  }

  function renderMoreOptions() {
    var options = (layout.MoreOptions && layout.MoreOptions.Options) || [];
    fillOptions(byId("more-options"), [{ name: "More\u2026", value: "" }].concat(options), "");
    show("more-options", options.length > 0);
  }

  function renderMenu() {
    var usable = installed() && idle();
    byId("verify-button").disabled = !usable;
    byId("uninstall-button").disabled = !usable;
    byId("open-folder-button").disabled = !installed();
  }

  function renderFacts() {
    var change = pendingChange();
    var download = installed() ? change.download : downloadBytes(pending.ids, pending.language);
    byId("install-size").textContent = CardFormat.bytes(download);
    show("install-size-box", download > 0);
    byId("install-folder").textContent = details().InstallFolder || "";
    byId("size-on-disk").textContent = CardFormat.bytes(details().SizeOnDisk);
    show("size-on-disk-box", installed());
  }

  function renderSelectors() {
    fillOptions(byId("languages"), layout.Languages.Options, pending.language);
    byId("languages").disabled = !layout.Languages.Enabled;
    show("languages-box", layout.Languages.Visible);
    var box = byId("dlcs");
    box.innerHTML = "";
    var standalones = (layout.DLCs.Standalones || []).map(function (entry) { return entry.id; });
    contentEntries().forEach(function (entry) {
      var label = document.createElement("label");
      var check = document.createElement("input");
      check.type = "checkbox";
      check.value = entry.id;
      check.checked = pending.ids.indexOf(entry.id) >= 0;
      check.disabled = !layout.DLCs.Enabled || standalones.indexOf(entry.id) >= 0;
      check.onchange = contentTicked;
      label.appendChild(check);
      label.appendChild(document.createTextNode(" " + entry.name));
      box.appendChild(label);
    });
    show("dlcs-box", layout.DLCs.Visible);
    var change = pendingChange();
    show("apply-button", installed() && (change.languageChanged || change.added.length + change.removed.length > 0));
  }

  function renderProgress() {
    var progress = layout.Progress;
    var controls = layout.InstallControls || {};
    show("progress-box", (progress && progress.ProgressBarEnabled) || controls.Resume);
    show("pause-button", controls.Pause);
    show("resume-button", controls.Resume);
    show("cancel-button", controls.Cancel);
    if (!progress) return;
    byId("progress").value = progress.ProgressValue;
    byId("progress-label").textContent = progress.LeftLabelText;
    byId("progress-detail").textContent = progress.RightLabelText;
    var total = progress.BytesTotal;
    byId("progress-bytes").textContent =
      total ? CardFormat.bytes(progress.BytesDone) + " of " + CardFormat.bytes(total) : "";
    byId("progress-speed").textContent = CardFormat.speed(progress.BytesPerSecond);
    byId("progress-left").textContent = CardFormat.timeLeft(progress.SecondsLeft);
  }

  function renderState() {
    var state = layout.GameStateLabel;
    show("state-label", state && state.Visible);
    byId("state-label").textContent = state ? state.Label : "";
  }

  function render() {
    pending = shownSelection();
    renderHeading();
    renderMainButton();
    renderMoreOptions();
    renderMenu();
    renderSelectors();
    renderFacts();
    renderProgress();
    renderState();
  }

  // A choice changes only what is pending; nothing is sent until Install or Apply.
  function pendingChanged() {
    renderSelectors();
    renderFacts();
  }

  function contentTicked() {
    pending.ids = [];
    Array.prototype.forEach.call(byId("dlcs").querySelectorAll("input"), function (check) {
      if (check.checked) pending.ids.push(check.value);
    });
    pendingChanged();
  }

  window.receiveMessage = function (text) {
    var message = JSON.parse(text);
    if (message.Command !== "UpdateLayout") return;
    layout = message.Arguments;
    show("confirm-box", false);
    render();
  };

  // The catalogue's picture of the game sits beside the card's own address;
  // a game without one shows none rather than a broken picture.
  function showCover() {
    var cover = byId("cover");
    cover.onload = function () { cover.hidden = false; };
    cover.onerror = function () { cover.hidden = true; };
    cover.src = "cover";
  }

  showCover();
  byId("main-button").onclick = function () {
    if (layout.MainButton.Action === "Install") {
      sendInstall();
    } else {
      send("LaunchPrimaryPlayTask");
    }
  };
  byId("more-options").onchange = function () {
    if (this.value === "") return;
    send("LaunchPlayTask", { PlayTaskIndex: parseInt(this.value, 10) });
    this.value = "";
  };
  byId("languages").onchange = function () {
    pending.language = parseInt(this.value, 10);
    pendingChanged();
  };
  byId("apply-button").onclick = applyPending;
  byId("pause-button").onclick = function () { send("PauseInstall"); };
  byId("resume-button").onclick = function () { send("ResumeInstall"); };
  byId("cancel-button").onclick = function () { send("CancelInstall"); };
  byId("verify-button").onclick = function () { send("VerifyGame"); };
  byId("open-folder-button").onclick = function () { send("OpenInstallFolder"); };
  byId("uninstall-button").onclick = function () {
    ask("Uninstall " + (layout.Title.Label || "the game") + "? Files you added to its folder are kept.", function () {
      send("UninstallGame");
    });
  };
  byId("sign-out-button").onclick = function () { send("SignOut"); };
  byId("sign-in-button").onclick = function () { send("SignIn"); };
})();
