// The sound: the song the wasm rendered, played as one WebAudio buffer, and the clock the picture
// follows: the timeline moment now leaving the speakers, or, when the show plays without sound,
// the page's own clock. Offers AC, au and the audio_ functions to the page (page.js).
var AC = window.AudioContext || window.webkitAudioContext;
var start_wait_ms = 1000;  // a context not running this long after the gesture has no sound for us
var stall_ms = 3000;       // nor has one whose clock stands still this long (a device may take 2 s to open)
var start_lead_s = 0.05;   // the sound starts this far ahead of the order: longer than a busy tab's pause
var au = {ctx: null, src: null, buf: null,
          t0: 0,           // context time of timeline 0, s
          read: 0,         // context time the latest moment was read from, s
          silent: false,   // the show follows performance.now() instead
          own0: 0,         // performance.now() at timeline 0 then, ms
          last: 0, seen: 0, moved: false};  // the context's time last read, when it last moved, whether it has

// Float channels of the rendered 16-bit song at rate frames a second, as one AudioBuffer
// (int16 / 32768 is exact); made without a context where the browser allows it.
function audio_buffer(W, rate, c) {
  var n = W._v_frames(), ch = W._v_channels(), p = W._v_pcm() >> 1, pcm = W.HEAP16;
  var b = c ? c.createBuffer(ch, n, rate)
            : new AudioBuffer({length: n, numberOfChannels: ch, sampleRate: rate});
  for (var k = 0; k < ch; k++) {
    var d = new Float32Array(n);
    for (var i = 0; i < n; i++) d[i] = pcm[p + i * ch + k] / 32768;
    b.copyToChannel ? b.copyToChannel(d, k) : b.getChannelData(k).set(d);
  }
  return b;
}

// The context at the song's rate where the browser allows it, else at its own (it resamples).
function audio_context(rate) {
  try { return new AC({sampleRate: rate}); } catch (e) { return new AC(); }
}

// Plays the buffer from from_ms on; returns resume()'s promise, if any. Called within the
// gesture's handler: browsers let sound start only there.
function audio_play(from_ms) {
  var c = au.ctx;
  au.src = c.createBufferSource();
  au.src.buffer = au.buf;
  au.src.connect(c.destination);
  var p = c.resume();
  // Started at a set moment, not "now": the sound then leaves at exactly the context time the
  // picture counts from, however late the audio thread takes the order.
  var when = c.currentTime + start_lead_s;
  au.t0 = when - from_ms / 1000;
  au.src.start(when, from_ms / 1000);
  au.silent = false;
  au.last = c.currentTime; au.seen = performance.now(); au.moved = false;
  return p;
}

// From here the show goes on at_ms on the page's own clock, without sound.
function audio_silent(at_ms) {
  audio_stop();
  au.silent = true;
  au.own0 = performance.now() - at_ms;
}

function audio_stop() {
  if (au.src) { au.src.onended = null; try { au.src.stop(); } catch (e) {} au.src = null; }
}

// Whether the sound's clock runs at performance.now() now: 1 it runs, 0 not yet, -1 it will
// not (never started, or stopped during the show).
function audio_runs(now) {
  var c = au.ctx;
  if (au.silent) return 1;
  if (c.currentTime !== au.last) { au.last = c.currentTime; au.seen = now; au.moved = true; }
  var idle = now - au.seen;
  if (c.state !== 'running' && idle > start_wait_ms) return -1;
  if (idle > stall_ms) return -1;
  return au.moved && c.state === 'running' ? 1 : 0;
}

// The latency the context reports between its clock and the speakers, s.
function audio_lag() {
  var c = au.ctx;
  return (c.outputLatency || 0) + (c.baseLatency || 0);
}

// Timeline ms of the sound now leaving the speakers (or of the page's clock, without sound).
function audio_ms() {
  if (au.silent) return Math.floor(performance.now() - au.own0);
  au.read = au.ctx.currentTime;  // once: some engines move it within a task
  return Math.floor((au.read - au.t0 - audio_lag()) * 1000);
}
