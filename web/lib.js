// The GL calls the scene's WebGL slots make (webgl.cpp), on the page's context (VG, gl.js).
mergeInto(LibraryManager.library, {
  js_clear: function (mask) { VG.gl.clear(mask); },
  js_enable: function (cap) { VG.gl.enable(cap); },
  // n vertices of 16 bytes at v (x, y, z as floats, then r, g, b, a as bytes), drawn as two
  // triangles per quad with the matrices at p (projection) and m (modelview).
  js_draw: function (v, n, p, m) {
    var g = VG.gl;
    g.uniformMatrix4fv(VG.P, false, HEAPF32.subarray(p >> 2, (p >> 2) + 16));
    g.uniformMatrix4fv(VG.M, false, HEAPF32.subarray(m >> 2, (m >> 2) + 16));
    g.bufferData(g.ARRAY_BUFFER, HEAPU8.subarray(v, v + n * 16), g.STREAM_DRAW);
    g.drawElements(g.TRIANGLES, n / 4 * 6, VG.itype, 0);
  }
});
