// The default application's loader: runs in the hidden loader container
// and opens the application's main window, centred on its monitor.
(function () {
  var host = window.external;
  var status = document.getElementById("state");
  function say(text) {
    if (status) status.innerText = text;
  }
  if (!host) {
    say("The host object is not available: this page runs outside the container.");
    return;
  }
  var WB_VISIBLE = 0x2, WB_ALLOWSMINIMIZE = 0x1000, WB_ALLOWSMAXIMIZE = 0x2000, WB_ALLOWSRESIZEGRIP = 0x10000;
  var WB_SYSTEMAPPWINDOW = 0x2000000, WB_MAINWINDOW = 0x4000000;
  var flags = WB_VISIBLE | WB_ALLOWSMINIMIZE | WB_ALLOWSMAXIMIZE | WB_ALLOWSRESIZEGRIP | WB_SYSTEMAPPWINDOW |
      WB_MAINWINDOW;
  // The main page lies beside the loader, in the same package.
  var base = document.URL.replace(/[^\/\\]*$/, "");
  try {
    var answer = new VBArray(host.ZEQNewWindow(null, base + "Main.html", "ZEQ", 0, 0, 640, 480, 0, null, "main", "",
        flags, "")).toArray();
    if (answer[0] !== 0) {
      say("The main window could not be opened (status " + answer[0] + ").");
      return;
    }
    host.ZEQShowWindow(true, answer[1], "center");
    say("Main window open.");
  } catch (e) {
    say("The main window could not be opened: " + e.message);
  }
})();
