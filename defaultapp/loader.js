// The default application's loader: shows what the host object answers and
// says plainly what it does not.
(function () {
  function show(id, text) {
    var element = document.getElementById(id);
    if (element) element.innerText = text;
  }
  var host = window.external;
  var missing = [];
  function ask(name, id) {
    try {
      if (host && typeof host[name] !== "undefined") {
        var value = typeof host[name] === "function" || typeof host[name] === "unknown" ? host[name]() : host[name];
        show(id, String(value));
        return;
      }
    } catch (e) {
    }
    show(id, "not available");
    missing.push(name);
  }
  if (!host) {
    show("state", "The host object is not available: this page runs outside the container.");
    return;
  }
  ask("ZEQGetVersion", "version");
  // No member of the host object gives the log path yet.
  show("log", "not available yet");
  show("state", missing.length ? "Not answered by the host yet: " + missing.join(", ") + "." : "Host object ready.");
})();
