// Sizes, speeds and durations as the game card writes them.
var CardFormat = (function () {
  "use strict";

  var UNITS = ["B", "KB", "MB", "GB", "TB"];

  function bytes(count) {
    var value = Number(count) || 0;
    var unit = 0;
    while (value >= 1024 && unit < UNITS.length - 1) {
      value /= 1024;
      unit += 1;
    }
    return (unit === 0 ? value : value.toFixed(1)) + " " + UNITS[unit];
  }

  function speed(bytesPerSecond) {
    return bytesPerSecond > 0 ? bytes(bytesPerSecond) + "/s" : "";
  }

  function timeLeft(seconds) {
    if (!(seconds > 0)) return "";
    var hours = Math.floor(seconds / 3600);
    var minutes = Math.floor((seconds % 3600) / 60);
    if (hours > 0) return hours + " h " + minutes + " min left";
    if (minutes > 0) return minutes + " min " + (seconds % 60) + " s left";
    return seconds + " s left";
  }

  return { bytes: bytes, speed: speed, timeLeft: timeLeft };
})();
