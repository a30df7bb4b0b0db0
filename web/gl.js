// The picture: the WebGL context the scene's slots draw into (lib.js calls through VG), and the
// 4:3 picture letterboxed in a canvas that fills the window at the device's pixel ratio.
// Offers gl_make, gl_fit and gl_clear to the page (page.js).
var VG = window.VG = {};
var index16_verts = 65536;  // vertices 16-bit indices reach
var aspect = [4, 3];        // the scene's picture, width to height

function gl_fit() {
  var cv = VG.canvas, d = window.devicePixelRatio || 1;
  var w = Math.max(1, Math.round(cv.clientWidth * d)), h = Math.max(1, Math.round(cv.clientHeight * d));
  if (cv.width !== w || cv.height !== h) { cv.width = w; cv.height = h; }
  var vw = Math.min(w, Math.round(h * aspect[0] / aspect[1]));
  var vh = Math.min(h, Math.round(vw * aspect[1] / aspect[0]));
  VG.gl.viewport((w - vw) >> 1, (h - vh) >> 1, vw, vh);
}

function gl_clear() {
  VG.gl.clear(VG.gl.COLOR_BUFFER_BIT | VG.gl.DEPTH_BUFFER_BIT);
}

function gl_shader(g, type, text) {
  var s = g.createShader(type);
  g.shaderSource(s, text);
  g.compileShader(s);
  return s;
}

// The context on canvas cv, its program and index buffer, the wasm W told how many vertices one
// call can draw. keep: the drawing buffer stays readable after it is shown (a still).
// Returns WebGL's version, or 0 where there is none; lost() is called if the context is lost.
function gl_make(cv, W, keep, lost) {
  var a = {alpha: false, antialias: false, depth: true, stencil: false, preserveDrawingBuffer: keep};
  var g = cv.getContext('webgl2', a), version = 2;
  if (!g) {
    version = 1;
    g = cv.getContext('webgl', a) || cv.getContext('experimental-webgl', a);
  }
  if (!g) return 0;
  var p = g.createProgram();
  // Colours come clamped, as 8-bit channels (webgl.cpp).
  g.attachShader(p, gl_shader(g, g.VERTEX_SHADER,
    'attribute vec3 p;attribute vec3 c;uniform mat4 P;uniform mat4 M;varying vec3 v;' +
    'void main(){v=c;gl_Position=P*(M*vec4(p,1.));}'));
  g.attachShader(p, gl_shader(g, g.FRAGMENT_SHADER,
    'precision mediump float;varying vec3 v;void main(){gl_FragColor=vec4(v,1.);}'));
  g.bindAttribLocation(p, 0, 'p');
  g.bindAttribLocation(p, 1, 'c');
  g.linkProgram(p);
  if (!g.getProgramParameter(p, g.LINK_STATUS)) {
    if (g.isContextLost()) return 0;
    throw new Error('the scene\'s shaders do not link: ' + g.getProgramInfoLog(p));
  }
  g.useProgram(p);
  VG.gl = g; VG.canvas = cv;
  VG.P = g.getUniformLocation(p, 'P'); VG.M = g.getUniformLocation(p, 'M');
  g.bindBuffer(g.ARRAY_BUFFER, g.createBuffer());
  g.vertexAttribPointer(0, 3, g.FLOAT, false, 16, 0);
  g.vertexAttribPointer(1, 3, g.UNSIGNED_BYTE, true, 16, 12);
  g.enableVertexAttribArray(0);
  g.enableVertexAttribArray(1);
  // Quads as two triangles, split as OpenGL's own software rasteriser splits them (the last
  // vertex provoking): 0 1 3 and 1 2 3. 32-bit indices take the largest batch whole; 16-bit
  // ones reach index16_verts vertices per call.
  var big = version === 2 || g.getExtension('OES_element_index_uint');
  var cap = big ? W._v_max_verts() : index16_verts, n = cap / 4;
  var ix = big ? new Uint32Array(n * 6) : new Uint16Array(n * 6);
  for (var i = 0, k = 0; i < n; i++, k += 6) {
    ix[k] = 4 * i; ix[k + 1] = ix[k + 3] = 4 * i + 1; ix[k + 2] = ix[k + 5] = 4 * i + 3; ix[k + 4] = 4 * i + 2;
  }
  g.bindBuffer(g.ELEMENT_ARRAY_BUFFER, g.createBuffer());
  g.bufferData(g.ELEMENT_ARRAY_BUFFER, ix, g.STATIC_DRAW);
  VG.itype = big ? g.UNSIGNED_INT : g.UNSIGNED_SHORT;
  W._v_batch(cap);
  cv.addEventListener('webglcontextlost', function (e) { e.preventDefault(); lost(); });
  return version;
}
