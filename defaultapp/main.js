// The default application's main window: shows what the host object
// answers and says plainly what it does not.
(function () {
  function show(id, text) {
    var element = document.getElementById(id);
    if (element) element.innerText = text;
  }
  var host = window.external;
  if (!host) {
    show("state", "The host object is not available: this page runs outside the container.");
    return;
  }
  var missing = [];
  try {
    // The version comes as an array of numbers: major, minor, release, ...
    show("version", new VBArray(host.ZEQGetVersion()).toArray().join("."));
  } catch (e) {
    show("version", "not available");
    missing.push("ZEQGetVersion");
  }
  // No member of the host object gives the log path yet.
  show("log", "not available yet");
  show("state", missing.length ? "Not answered by the host yet: " + missing.join(", ") + "." : "Host object ready.");
})();
