// The page's states and gestures: loading, "click to start", the show drawn at the playing
// moment each animation frame, its end, full screen, the screen kept awake, and every failure as
// one sentence. The wasm (vintelo_wasm, emscripten's) renders the song and draws the scene; gl.js
// holds the picture, audio.js the sound and the clock. window.vintelo holds what a test reads;
// the show does not depend on it.
var W;  // the wasm module, once it has started
var q = new URLSearchParams(location.search);
var cv = document.getElementById('c'), msg = document.getElementById('m');
var V = window.vintelo = {state: 'loading', playing: false, silent: false, t: -1, starts: 0, frames: 0,
                          channels: 0, buffer: null, webgl: 0, error: '', shown_ms: 0, ready_ms: 0,
                          first_frame_ms: 0, drawn_clock: 0,
                          audio: function () { return au.ctx ? au.ctx.state : 'none'; },
                          clock: function () { return au.ctx ? au.ctx.currentTime : 0; },
                          lag: function () { return au.ctx ? audio_lag() : 0; },
                          now: function () { return V.playing ? audio_ms() : -1; },
                          awake: function () { return !!lock; }};
var synth, at, from;  // the address's choices, read once the wasm knows the show's length
var clicked = 0, pending = false, lock = null;
// Keys that only modify others, and the system's own (Alt+Tab): never taken as a gesture.
var modifiers = ['Shift', 'Control', 'Alt', 'AltGraph', 'Meta', 'OS', 'Super', 'Hyper', 'CapsLock',
                 'NumLock', 'ScrollLock', 'Fn', 'FnLock', 'Symbol', 'SymbolLock'];
var no_sound_text = 'The sound could not start (the browser refused it, or there is no sound device); ' +
                    'click to watch without sound.';

function say(s) { msg.textContent = s; document.body.classList.remove('on'); }

function stop() {
  audio_stop();
  V.playing = false;
  awake(false);
}

function fail(s) {
  if (V.state === 'failed') return;
  stop();
  V.state = 'failed'; V.error = s;
  console.error('vintelo: ' + s);
  say(s);
}
window.addEventListener('error', function (e) { fail('The show stopped: ' + e.message); e.preventDefault(); });
window.addEventListener('unhandledrejection', function (e) { fail('The show stopped: ' + e.reason); e.preventDefault(); });

// The screen stays on while the show plays, where the browser can keep it on; the lock it
// drops when the tab is hidden is asked for again when the tab comes back.
function awake(on) {
  if (!on) {
    if (lock) lock.release().catch(function () {});
    lock = null;
    return;
  }
  if (lock || !navigator.wakeLock || document.visibilityState !== 'visible') return;
  navigator.wakeLock.request('screen').then(function (l) {
    if (!V.playing || lock) return l.release();
    lock = l;
    l.addEventListener('release', function () { if (lock === l) lock = null; });
  }, function () {});  // refused: the screen may dim, the show goes on
}
document.addEventListener('visibilitychange', function () { if (V.playing) awake(true); });

// Timeline ms from the address: whole milliseconds within the show, else null with the page
// saying what it takes.
function moment(name) {
  var s = q.get(name), most = W._v_show_ms();
  if (/^[0-9]{1,9}$/.test(s) && Number(s) <= most) return Number(s);
  fail('?' + name + '=' + s + ' is not a moment of the show: give whole milliseconds from 0 to ' + most + '.');
  return null;
}

// The address's choices; false once refused.
function choices() {
  var s = q.has('synth') ? q.get('synth') : 'port', synths = ['port', 'tiny'];
  synth = synths.indexOf(s);  // the wasm's numbering
  if (synth < 0) return fail('?synth=' + s + ' is not a synthesizer: give port or tiny.') || false;
  at = q.has('at') ? moment('at') : null;  // a still at this moment
  from = q.has('from') ? moment('from') : 0;  // the show starts this far in
  return V.state !== 'failed';
}

function picture() {
  V.webgl = gl_make(cv, W, at !== null, function () {
    fail('The picture was lost (the graphics context was reset): reload the page to watch again.');
  });
  if (!V.webgl) fail('This browser cannot draw the show: WebGL is not available.');
  return V.webgl > 0;
}

function sound_buffer(c) {
  var b = audio_buffer(W, W._v_rate(), c);
  V.buffer = b; V.frames = b.length; V.channels = b.numberOfChannels;
  return b;
}

// Each animation frame: the scene at the clock's moment, once the clock runs. A sound that
// never starts is said so; one that stops during the show leaves the picture going on alone.
function frame() {
  if (V.state !== 'playing' && V.state !== 'nosound') return;
  var runs = audio_runs(performance.now());
  if (V.state === 'nosound') {  // a sound that starts late, before the viewer chose silence, plays
    if (runs <= 0) return requestAnimationFrame(frame);
    V.state = 'playing'; V.playing = true;
    document.body.classList.add('on');
    awake(true);
  }
  if (runs < 0 && V.t < 0) {
    no_sound();
    return requestAnimationFrame(frame);
  }
  if (runs < 0) {
    console.warn('vintelo: The sound stopped; the show goes on without it.');
    audio_silent(V.t);
    V.silent = true;
  }
  var t = runs ? audio_ms() : -1;
  if (t > V.t) {
    V.t = t; V.drawn_clock = au.read;
    gl_fit();
    var end = W._v_frame(t);
    if (!V.first_frame_ms && W._v_last() > 0) V.first_frame_ms = performance.now() - clicked;
    if (end) return finish();
  }
  requestAnimationFrame(frame);
}

// The source stays scheduled: a device that opens late still plays it (frame).
function no_sound() {
  V.playing = false;
  awake(false);
  V.state = 'nosound';
  console.warn('vintelo: ' + no_sound_text);
  say(no_sound_text);
}

// Starts the show, with sound, or without it once the viewer has chosen to watch so.
function start(silent) {
  if (!au.buf) au.buf = sound_buffer(au.ctx);
  W._v_rewind();
  V.t = -1; V.first_frame_ms = 0; V.starts++; V.silent = silent;
  if (silent) audio_silent(from);
  else {
    var p = audio_play(from);
    if (p && p.catch) p.catch(function () {});  // refused: the frame loop finds the clock stands
  }
  gl_fit();
  gl_clear();
  V.state = 'playing'; V.playing = true;
  document.body.classList.add('on');
  awake(true);
  requestAnimationFrame(frame);
}

// The end, on black: "play again" does not stand over the last frame.
function finish() {
  stop();
  gl_clear();
  V.state = 'ended';
  say('play again');
}

// A click, tap or key: starts the show, or ends it. touch: it came from a touch screen.
function gesture(touch) {
  clicked = performance.now();
  if (V.state === 'loading') pending = V.shown_ms > 0;
  else if (V.state === 'ready' || V.state === 'ended' || V.state === 'nosound') {
    if (!au.ctx) au.ctx = audio_context(W._v_rate());
    start(V.state === 'nosound');
    if (touch && !document.fullscreenElement) fullscreen();  // a phone has no F key
  } else if (V.state === 'playing') finish();
}

function fullscreen() {
  var d = document, el = d.documentElement, p;
  if (d.fullscreenElement || d.webkitFullscreenElement) p = (d.exitFullscreen || d.webkitExitFullscreen).call(d);
  else if (el.requestFullscreen || el.webkitRequestFullscreen) p = (el.requestFullscreen || el.webkitRequestFullscreen).call(el);
  if (p && p.catch) p.catch(function () {});  // refused: the show goes on in the window
}

// A touch screen without a fine pointer beside it: a phone or tablet, likely without keys.
function touch_only() {
  return navigator.maxTouchPoints > 0 && !(window.matchMedia && matchMedia('(any-pointer: fine)').matches);
}

addEventListener('keydown', function (e) {
  if (e.repeat || e.ctrlKey || e.altKey || e.metaKey || modifiers.indexOf(e.key) >= 0) return;
  if (e.key === 'f' || e.key === 'F') return fullscreen();
  gesture(false);
});
// Browsers count a touch as a gesture that may start sound at its end, not its start: click.
addEventListener('click', function () { gesture(touch_only()); });
addEventListener('resize', function () {
  if (V.state === 'still') still();
  else if (VG.gl && V.state !== 'playing') { gl_fit(); gl_clear(); }  // black, not stretched
});

function still() {
  W._v_rewind();
  gl_fit();
  gl_clear();
  W._v_frame(at);
  V.t = at;
}

function render() {
  var why = W._v_render(synth);
  if (why) return fail('The music could not be made: ' + W.UTF8ToString(why) + '.') || false;
  return true;
}

function ready() {
  if (!choices()) return;
  if (at !== null) {
    if (!picture() || !render()) return;
    V.state = 'still';
    still();
    document.body.classList.add('on');
    return;
  }
  if (!AC) return fail('This browser cannot play the music: Web Audio is not available.');
  say('click to start');
  V.shown_ms = performance.now();
  // The picture's context is made and the song rendered once the message is on screen; a
  // gesture meanwhile starts the show as soon as they are done. The audio context is made
  // now too where the browser allows it, so the gesture need only resume it.
  requestAnimationFrame(function () {
    setTimeout(function () {
      if (!picture() || !render()) return;
      try { au.buf = sound_buffer(null); } catch (e) { au.buf = null; }  // else at the gesture
      try { au.ctx = audio_context(W._v_rate()); } catch (e) {
        return fail('This browser cannot play the music: ' + e.message);
      }
      V.state = 'ready';
      V.ready_ms = performance.now();
      if (pending) start(false);
    }, 0);
  });
}

function main() {
  // A phone's silent switch does not mute a show that says it plays.
  if (navigator.audioSession) try { navigator.audioSession.type = 'playback'; } catch (e) {}
  if (typeof WebAssembly !== 'object' || typeof vintelo_wasm !== 'function')
    return fail('This browser cannot run the show: WebAssembly is not available.');
  try {
    vintelo_wasm({print: function (s) { console.log(s); },
                  printErr: function (s) { console.warn(s); },
                  onAbort: function (w) { fail('The show could not start: ' + w + '.'); }})
      .then(function (m) { W = m; ready(); },
            function (e) { fail('The show could not start: ' + e + '.'); });
  } catch (e) {
    fail('The show could not start: ' + e + '.');
  }
}
main();
