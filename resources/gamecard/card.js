// The game card's side of the conversation with the client: the client calls
// receiveMessage with an "UpdateLayout" command; the page answers through the
// bridge object's sendMessage with "LaunchPrimaryPlayTask", "LaunchPlayTask",
// "LanguageChange" and "RevisionChange".
(function () {
  "use strict";

  var byId = function (id) { return document.getElementById(id); };
  var standalones = [];

  function send(command, args) {
    var message = JSON.stringify({ Command: command, Arguments: args || {} });
    if (window.gameCard && window.gameCard.sendMessage) window.gameCard.sendMessage(message);
  }

  function fillOptions(select, options, selected) {
    select.innerHTML = "";
    (options || []).forEach(function (option) {
      var item = document.createElement("option");
      item.value = option.value;
      item.textContent = option.name;
      select.appendChild(item);
    });
    if (selected !== undefined) select.value = selected;
  }

  function renderTitle(title) {
    byId("title").textContent = title.Label || "";
    byId("subtitle").textContent = title.Subtitle || "";
  }

  function renderMainButton(button) {
    byId("main-button").textContent = button.Label;
    byId("main-button").disabled = !button.Enabled;
  }

  function renderMoreOptions(more) {
    var select = byId("more-options");
    var options = more.Options || [];
    fillOptions(select, [{ name: "More\u2026", value: "" }].concat(options), "");
    select.hidden = options.length === 0;
  }

  function renderLanguages(languages) {
    fillOptions(byId("languages"), languages.Options, languages.Selected);
    byId("languages").disabled = !languages.Enabled;
    byId("languages-box").hidden = !languages.Visible;
  }

  function renderDlcs(dlcs) {
    var box = byId("dlcs");
    var selected = (dlcs.Selected || []).map(function (entry) { return entry.id; });
    standalones = (dlcs.Standalones || []).map(function (entry) { return entry.id; });
    box.innerHTML = "";
    (dlcs.Standalones || []).concat(dlcs.Addons || []).forEach(function (entry) {
      var label = document.createElement("label");
      var check = document.createElement("input");
      check.type = "checkbox";
      check.value = entry.id;
      check.checked = selected.indexOf(entry.id) >= 0;
      check.disabled = !dlcs.Enabled || standalones.indexOf(entry.id) >= 0;
      check.onchange = revisionChanged;
      label.appendChild(check);
      label.appendChild(document.createTextNode(" " + entry.name));
      box.appendChild(label);
    });
    byId("dlcs-box").hidden = !dlcs.Visible;
  }

  function renderProgress(progress) {
    byId("progress-box").hidden = !progress || !progress.ProgressBarEnabled;
    if (!progress) return;
    byId("progress").value = progress.ProgressValue;
    byId("progress-left").textContent = progress.LeftLabelText;
    byId("progress-right").textContent = progress.RightLabelText;
  }

  function renderState(state) {
    byId("state-label").hidden = !state || !state.Visible;
    byId("state-label").textContent = state ? state.Label : "";
  }

  function revisionChanged() {
    var ids = [];
    Array.prototype.forEach.call(byId("dlcs").querySelectorAll("input"), function (check) {
      if (check.checked) ids.push(check.value);
    });
    send("RevisionChange", { NewValue: ids });
  }

  window.receiveMessage = function (text) {
    var message = JSON.parse(text);
    if (message.Command !== "UpdateLayout") return;
    var layout = message.Arguments;
    if (layout.Title) renderTitle(layout.Title);
    if (layout.MainButton) renderMainButton(layout.MainButton);
    if (layout.MoreOptions) renderMoreOptions(layout.MoreOptions);
    if (layout.Languages) renderLanguages(layout.Languages);
    if (layout.DLCs) renderDlcs(layout.DLCs);
    renderProgress(layout.Progress);
    renderState(layout.GameStateLabel);
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
  byId("main-button").onclick = function () { send("LaunchPrimaryPlayTask"); };
  byId("more-options").onchange = function () {
    if (this.value === "") return;
    send("LaunchPlayTask", { PlayTaskIndex: parseInt(this.value, 10) });
    this.value = "";
  };
  byId("languages").onchange = function () {
    send("LanguageChange", { NewValue: parseInt(this.value, 10) });
  };
})();
