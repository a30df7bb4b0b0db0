// The sound: the song the wasm rendered, played as one WebAudio buffer, and the timeline moment
// now leaving the speakers, which the picture follows. Offers AC, au and the audio_ functions to
// the page (page.js).
var AC = window.AudioContext || window.webkitAudioContext;
var au = {ctx: null, src: null, buf: null, t0: 0};  // t0: context time of timeline 0, s

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

// Plays the buffer from from_ms on; returns resume()'s promise, if any.
function audio_play(from_ms) {
  var c = au.ctx;
  au.src = c.createBufferSource();
  au.src.buffer = au.buf;
  au.src.connect(c.destination);
  var p = c.resume();
  au.t0 = c.currentTime - from_ms / 1000;
  au.src.start(0, from_ms / 1000);
  return p;
}

function audio_stop() {
  if (au.src) { au.src.onended = null; try { au.src.stop(); } catch (e) {} au.src = null; }
}

// Timeline ms of the sound now leaving the speakers: the context's clock less the latency it
// reports between its clock and the output.
function audio_ms() {
  var c = au.ctx, lag = (c.outputLatency || 0) + (c.baseLatency || 0);
  return Math.floor((c.currentTime - au.t0 - lag) * 1000);
}
