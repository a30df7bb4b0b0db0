// The page's states and gestures: loading, "click to start", the show drawn at the playing
// moment each animation frame, its end, full screen, and every failure as one sentence. The
// wasm (vintelo_wasm, emscripten's) renders the song and draws the scene; gl.js holds the
// picture, audio.js the sound. window.vintelo holds what a test reads; the show does not
// depend on it.
var W;  // the wasm module, once it has started
var q = new URLSearchParams(location.search);
var cv = document.getElementById('c'), msg = document.getElementById('m');
var V = window.vintelo = {state: 'loading', playing: false, t: -1, starts: 0, frames: 0, channels: 0,
                          buffer: null, webgl: 0, error: '', shown_ms: 0, ready_ms: 0, first_frame_ms: 0,
                          audio: function () { return au.ctx ? au.ctx.state : 'none'; },
                          clock: function () { return au.ctx ? au.ctx.currentTime : 0; },
                          now: function () { return au.ctx && V.playing ? audio_ms() : -1; }};
var synth, at, from;  // the address's choices, read once the wasm knows the show's length
var clicked = 0, pending = false;

function say(s) { msg.textContent = s; document.body.classList.remove('on'); }

function stop() {
  audio_stop();
  V.playing = false;
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

// Timeline ms from the address, kept within the show (and within the wasm's 32-bit ints).
function ms(name) { return Math.min(Math.max(parseInt(q.get(name), 10) || 0, 0), W._v_show_ms()); }

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

function frame() {
  if (V.state !== 'playing') return;
  var t = audio_ms();
  if (t > V.t) {
    V.t = t;
    gl_fit();
    var end = W._v_frame(t);
    if (!V.first_frame_ms && W._v_last() > 0) V.first_frame_ms = performance.now() - clicked;
    if (end) return finish();
  }
  requestAnimationFrame(frame);
}

function start() {
  if (!au.buf) au.buf = sound_buffer(au.ctx);
  var p = audio_play(from);
  if (p && p.catch) p.catch(function (e) { fail('The music could not start: ' + e.message); });
  W._v_rewind();
  V.t = -1; V.first_frame_ms = 0; V.starts++;
  gl_fit();
  VG.gl.clear(VG.gl.COLOR_BUFFER_BIT);
  V.state = 'playing'; V.playing = true;
  document.body.classList.add('on');
  requestAnimationFrame(frame);
}

function finish() {
  stop();
  V.state = 'ended';
  say('play again');
}

function gesture() {
  clicked = performance.now();
  if (V.state === 'loading') pending = V.shown_ms > 0;
  else if (V.state === 'ready' || V.state === 'ended') start();
  else if (V.state === 'playing') finish();
}

function fullscreen() {
  var d = document, el = d.documentElement, p;
  if (d.fullscreenElement || d.webkitFullscreenElement) p = (d.exitFullscreen || d.webkitExitFullscreen).call(d);
  else if (el.requestFullscreen || el.webkitRequestFullscreen) p = (el.requestFullscreen || el.webkitRequestFullscreen).call(el);
  if (p && p.catch) p.catch(function () {});  // refused: the show goes on in the window
}

addEventListener('keydown', function (e) {
  if (e.key === 'f' || e.key === 'F') return fullscreen();
  if (!e.repeat) gesture();
});
addEventListener('pointerdown', gesture);
addEventListener('resize', function () {
  if (V.state === 'still') still();
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
  synth = q.get('synth') === 'tiny' ? 1 : 0;
  at = q.has('at') ? ms('at') : null;  // a still at this moment
  from = ms('from');                   // the show starts this far in
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
  // now too, so the click need only resume it.
  requestAnimationFrame(function () {
    setTimeout(function () {
      if (!picture() || !render()) return;
      try { au.buf = sound_buffer(null); } catch (e) { au.buf = null; }  // else at the click
      try { au.ctx = audio_context(W._v_rate()); } catch (e) {
        return fail('This browser cannot play the music: ' + e.message);
      }
      V.state = 'ready';
      V.ready_ms = performance.now();
      if (pending) start();
    }, 0);
  });
}

function main() {
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
