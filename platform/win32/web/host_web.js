// The page's side of the window layer's web host (see sdl_web.cpp): the canvas, its
// events as SDL events, presentation, message boxes and the yield of every pass.
// Built into the module with --pre-js; the page gives Module.canvas and may give
// Module.onMessageBox(flags, title, text) and Module.onFrame(count), told of the frames
// the program presents (of every one on one thread, once per animation frame with the
// program on a worker). Module.hostCounters() gives the count of those frames (frames),
// of the ones that reached the canvas (shown), of the passes of the program's loop
// (passes) and, on one thread, the time the program ran between its yields (busyMs; null
// on a worker, where it never yields).

Module.hostFrames = 0;
Module.hostShown = 0;
Module.hostPasses = 0;
Module.hostBusyMs = 0;
Module.hostOnWorker = false;

Module.hostCounters = function () {
  if (Module.hostOnWorker) {
    return { frames: Module._tolvane_host_frames(), shown: Module.hostShown,
             passes: Module._tolvane_host_passes(), busyMs: null };
  }
  return { frames: Module.hostFrames, shown: Module.hostShown, passes: Module.hostPasses, busyMs: Module.hostBusyMs };
};

// SDL key codes of KeyboardEvent.code values; letters and digits are their characters.
var hostKeyCodes = (function () {
  var mask = 1 << 30, codes = {
    Enter: 13, Escape: 27, Backspace: 8, Tab: 9, Space: 32, Delete: 127,
    Insert: mask | 73, Home: mask | 74, PageUp: mask | 75, End: mask | 77, PageDown: mask | 78,
    ArrowRight: mask | 79, ArrowLeft: mask | 80, ArrowDown: mask | 81, ArrowUp: mask | 82,
    NumpadEnter: mask | 88, ControlLeft: mask | 224, ShiftLeft: mask | 225, AltLeft: mask | 226,
    ControlRight: mask | 228, ShiftRight: mask | 229, AltRight: mask | 230
  };
  for (var i = 0; i < 26; ++i) codes['Key' + String.fromCharCode(65 + i)] = 97 + i;
  for (var d = 0; d < 10; ++d) codes['Digit' + d] = 48 + d;
  for (var f = 1; f <= 12; ++f) codes['F' + f] = mask | (57 + f);
  return codes;
})();

// SDL scan codes for lParam's bits 16-23: letters 4.., digits 30.. (1-9, then 0).
function hostScancode(code) {
  if (/^Key[A-Z]$/.test(code)) return 4 + code.charCodeAt(3) - 65;
  if (/^Digit[0-9]$/.test(code)) return code === 'Digit0' ? 39 : 29 + (code.charCodeAt(5) - 48);
  var sym = hostKeyCodes[code];
  return sym !== undefined && (sym & (1 << 30)) ? sym & 0x1FF : 0;
}

Module.hostInstall = function (canvas) {
  canvas.tabIndex = 0;
  function key(down) {
    return function (e) {
      var sym = hostKeyCodes[e.code];
      if (sym === undefined) return;
      e.preventDefault();
      var text = down && e.key.length === 1 && !e.ctrlKey && !e.altKey && !e.metaKey ? allocateUTF8(e.key) : 0;
      Module._tolvane_host_key(down ? 1 : 0, sym, hostScancode(e.code), e.repeat ? 1 : 0, text);
      if (text) _free(text);
    };
  }
  canvas.addEventListener('keydown', key(true));
  canvas.addEventListener('keyup', key(false));
  function where(e) {
    var r = canvas.getBoundingClientRect(), size = Module.hostSurface || canvas;  // the drawing's size
    var left = r.left, top = r.top, width = r.width, height = r.height;
    if (document.fullscreenElement === canvas && size.width > 0 && size.height > 0) {
      // Full screen shows the drawing scaled with its aspect kept (object-fit: contain).
      var scale = Math.min(r.width / size.width, r.height / size.height);
      width = size.width * scale;
      height = size.height * scale;
      left += (r.width - width) / 2;
      top += (r.height - height) / 2;
    }
    return [Math.round((e.clientX - left) * size.width / width),
            Math.round((e.clientY - top) * size.height / height)];
  }
  // A full-screen request the browser refused for want of a user's input is made again
  // at the next click or key.
  function fullScreenAgain() { if (Module.hostFullScreenWanted) Module.hostFullScreen(true); }
  canvas.addEventListener('keydown', fullScreenAgain);
  canvas.addEventListener('mousemove', function (e) { var p = where(e); Module._tolvane_host_mouse(0, 0, p[0], p[1]); });
  canvas.addEventListener('mousedown', function (e) {
    canvas.focus();
    fullScreenAgain();
    var p = where(e); Module._tolvane_host_mouse(1, e.button + 1, p[0], p[1]);
  });
  canvas.addEventListener('mouseup', function (e) { var p = where(e); Module._tolvane_host_mouse(2, e.button + 1, p[0], p[1]); });
  canvas.addEventListener('contextmenu', function (e) { e.preventDefault(); });
  canvas.addEventListener('focus', function () { Module._tolvane_host_focus(1); });
  canvas.addEventListener('blur', function () { Module._tolvane_host_focus(0); });
};

// Full screen for a full-screen device: the canvas fills the screen with the frame scaled
// into it, its aspect kept; leaving it (or the user's Escape) gives the page back.
Module.hostFullScreen = function (on) {
  var canvas = Module.canvas;
  Module.hostFullScreenWanted = false;
  Module.hostFullScreenOn = on;
  if (!Module.hostFullScreenWatched) {
    // The user leaving full screen (Escape) is a full-screen program's loss of the focus,
    // as switching away is on the desktop: its device is lost, then waits to be reset.
    Module.hostFullScreenWatched = true;
    document.addEventListener('fullscreenchange', function () {
      if (!Module.hostFullScreenOn || document.fullscreenElement === canvas) return;
      Module._tolvane_host_focus(0);
      if (document.activeElement === canvas) Module._tolvane_host_focus(1);
    });
  }
  if (!on) {
    if (document.fullscreenElement === canvas && document.exitFullscreen) document.exitFullscreen();
    return;
  }
  canvas.style.objectFit = 'contain';
  canvas.style.background = 'black';
  if (document.fullscreenElement === canvas || !canvas.requestFullscreen) return;
  canvas.requestFullscreen().catch(function () { Module.hostFullScreenWanted = true; });
};

// The canvas's pixels are drawn through an OffscreenCanvas where the browser has one: its
// frames go to the compositor by themselves, so the page's own rendering has nothing to
// hand over (commit) when a frame changes and the program's thread does not wait for it.
// onWorker: the program runs on a worker (see hostShowFromWorker).
Module.hostCanvasSize = function (width, height, onWorker) {
  var canvas = Module.canvas;
  if (!Module.hostSurface) {
    Module.hostSurface = canvas.transferControlToOffscreen ? canvas.transferControlToOffscreen() : canvas;
  }
  Module.hostSurface.width = width;
  Module.hostSurface.height = height;
  Module.hostContext = Module.hostSurface.getContext('2d');
  Module.hostImage = Module.hostContext.createImageData(width, height);
  if (onWorker && !Module.hostOnWorker) {
    Module.hostOnWorker = true;
    Module.hostShowFromWorker();
  }
};

// An ImageData of the size, for copies out of shared memory (an ImageData takes none).
function hostImageOf(width, height) {
  var image = Module.hostImage;
  if (!image || image.width !== width || image.height !== height) {
    Module.hostImage = image = Module.hostContext.createImageData(width, height);
  }
  return image;
}

// The newest frame presented waits for the next animation frame; frames presented before
// then are passed over, as a display would. The bytes stay the texture's (in the module's
// memory) until it is destroyed, which shows a frame still waiting first (hostRelease).
(function () {
  var pending = 0, width = 0, height = 0, scheduled = false;
  function show() {
    scheduled = false;
    if (!pending) return;
    var memory = wasmMemory.buffer, bytes = width * height * 4, image;
    if (typeof SharedArrayBuffer === 'undefined' || !(memory instanceof SharedArrayBuffer)) {
      image = new ImageData(new Uint8ClampedArray(memory, pending, bytes), width, height);  // the bytes themselves
    } else {  // an ImageData takes no shared memory: a copy
      image = hostImageOf(width, height);
      image.data.set(new Uint8Array(memory, pending, bytes));
    }
    Module.hostContext.putImageData(image, 0, 0);
    pending = 0;
    ++Module.hostShown;
  }
  Module.hostPresent = function (pointer, w, h) {
    pending = pointer;
    width = w;
    height = h;
    if (!scheduled) {
      scheduled = true;
      requestAnimationFrame(show);
    }
    ++Module.hostFrames;
    if (Module.onFrame) Module.onFrame(Module.hostFrames);
  };
  Module.hostRelease = function (pointer) {
    if (pending === pointer) show();
  };
})();

// The program on a worker: once per animation frame the page takes the newest frame it
// has not shown from the module's memory (tolvane_host_frame_begin and _end of
// sdl_web.cpp) and copies it to the canvas, and tells Module.onFrame of the frames
// presented since. hostRelease (a texture about to go) takes a frame still waiting at once.
Module.hostShowFromWorker = function () {
  var told = 0;
  function take() {
    var taken = Module._tolvane_host_frame_begin();
    if (!taken) return;
    try {
      var memory = wasmMemory.buffer, at = new Int32Array(memory, taken, 3);
      var pointer = at[0], width = at[1], height = at[2];
      var image = hostImageOf(width, height);
      image.data.set(new Uint8Array(memory, pointer, width * height * 4));
      Module.hostContext.putImageData(image, 0, 0);
      ++Module.hostShown;
    } finally {
      Module._tolvane_host_frame_end();
    }
  }
  function frame() {
    take();
    var frames = Module._tolvane_host_frames();
    if (frames !== told) {
      told = Module.hostFrames = frames;
      if (Module.onFrame) Module.onFrame(frames);
    }
    requestAnimationFrame(frame);
  }
  Module.hostRelease = take;
  requestAnimationFrame(frame);
};

Module.hostMessageBox = function (flags, title, text) {
  console.log('message box: ' + title + ': ' + text);
  if (Module.onMessageBox) Module.onMessageBox(flags, title, text);
};

// The yield of every pass: a message to ourselves runs after the events, timers and
// painting that wait, without the 4 ms floor of nested timers.
(function () {
  var channel = new MessageChannel(), waiting = [], resumed = performance.now();
  channel.port1.onmessage = function () {
    var resolve = waiting.shift();
    resumed = performance.now();
    if (resolve) resolve();
  };
  Module.hostYield = function (resolve) {
    Module.hostBusyMs += performance.now() - resumed;
    ++Module.hostPasses;
    waiting.push(resolve);
    channel.port2.postMessage(0);
  };
})();
