// Page scripts of the web benchmark, run in the browser.
//
// installRecorder runs before the page's own scripts. It wraps the WebGL
// calls the page makes so that it can (1) note when the first title-menu
// frame is shown, by reading one pixel after each frame until the loading
// screen's colour has come and gone, and (2) on request record one whole
// frame: every draw call with the vertex bytes, indices, texture, blending
// and matrices in force, and the uploads that made each texture used.
'use strict';

function installRecorder() {
  const GL = WebGLRenderingContext;
  const proto = GL.prototype;
  const real = {};
  const wrap = (name, after) => {
    real[name] = proto[name];
    proto[name] = function (...args) {
      const result = real[name].apply(this, args);
      after.call(this, args, result);
      return result;
    };
  };
  // Shadow copies of what the page put in buffers and textures, and the
  // state a draw call depends on.
  const buffers = new Map(); // WebGLBuffer -> Uint8Array
  const textureOps = new Map(); // WebGLTexture -> [{ name, args }]
  const attribNames = new Map(); // WebGLProgram -> Map(location -> name)
  const uniformNames = new Map(); // WebGLUniformLocation -> name
  const uniformValues = new Map(); // WebGLProgram -> { name: Float32Array }
  const attribs = []; // location -> { enabled, buffer, size, type, normalized, stride, offset }
  const state = { arrayBuffer: null, elementBuffer: null, program: null, unit: 0, textures: [], blend: false };
  const elementBuffers = new WeakSet();
  // Typed arrays leave the page as base64 text: { typed: name, base64 }.
  const pack = (value) => {
    if (ArrayBuffer.isView(value)) {
      const bytes = new Uint8Array(value.buffer, value.byteOffset, value.byteLength);
      let text = '';
      for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
      return { typed: value.constructor.name, base64: btoa(text) };
    }
    if (Array.isArray(value)) return value.map(pack);
    if (value && typeof value === 'object')
      return Object.fromEntries(Object.entries(value).map(([k, v]) => [k, pack(v)]));
    return value;
  };
  // A copy of uploaded bytes (views and whole buffers alike); other arguments as they are.
  const copy = (data) => {
    if (data instanceof ArrayBuffer) return new Uint8Array(data.slice(0));
    return ArrayBuffer.isView(data) ? new Uint8Array(data.buffer, data.byteOffset, data.byteLength).slice() : data;
  };

  wrap('bindBuffer', function ([target, buffer]) {
    if (target === GL.ARRAY_BUFFER) state.arrayBuffer = buffer;
    else {
      state.elementBuffer = buffer;
      if (buffer) elementBuffers.add(buffer);
    }
  });
  const bound = (target) => (target === GL.ARRAY_BUFFER ? state.arrayBuffer : state.elementBuffer);
  wrap('bufferData', function ([target, data]) {
    buffers.set(bound(target), typeof data === 'number' ? new Uint8Array(data) : copy(data));
  });
  wrap('bufferSubData', function ([target, offset, data]) {
    const shadow = buffers.get(bound(target));
    const bytes = copy(data);
    if (shadow.length < offset + bytes.length) throw new Error('bufferSubData past the end of a buffer');
    shadow.set(bytes, offset);
  });
  wrap('useProgram', function ([program]) {
    state.program = program;
  });
  wrap('bindAttribLocation', function ([program, location, name]) {
    if (!attribNames.has(program)) attribNames.set(program, new Map());
    attribNames.get(program).set(location, name);
  });
  wrap('getAttribLocation', function ([program, name], location) {
    if (location < 0) return;
    if (!attribNames.has(program)) attribNames.set(program, new Map());
    attribNames.get(program).set(location, name);
  });
  wrap('getUniformLocation', function ([, name], location) {
    if (location) uniformNames.set(location, name);
  });
  wrap('uniformMatrix4fv', function ([location, , value]) {
    if (!location) return;
    if (!uniformValues.has(state.program)) uniformValues.set(state.program, {});
    uniformValues.get(state.program)[uniformNames.get(location)] = Float32Array.from(value);
  });
  const attrib = (location) => (attribs[location] = attribs[location] || { enabled: false });
  wrap('enableVertexAttribArray', function ([location]) {
    attrib(location).enabled = true;
  });
  wrap('disableVertexAttribArray', function ([location]) {
    attrib(location).enabled = false;
  });
  wrap('vertexAttribPointer', function ([location, size, type, normalized, stride, offset]) {
    Object.assign(attrib(location), { buffer: state.arrayBuffer, size, type, normalized, stride, offset });
  });
  wrap('activeTexture', function ([unit]) {
    state.unit = unit - GL.TEXTURE0;
  });
  wrap('bindTexture', function ([, texture]) {
    state.textures[state.unit] = texture;
  });
  const textureOp = (name) =>
    wrap(name, function (args) {
      const texture = state.textures[state.unit];
      if (!textureOps.has(texture)) textureOps.set(texture, []);
      textureOps.get(texture).push({ name, args: args.map(copy) });
    });
  for (const name of ['texImage2D', 'texSubImage2D', 'texParameteri']) textureOp(name);
  wrap('enable', function ([cap]) {
    if (cap === GL.BLEND) state.blend = true;
  });
  wrap('disable', function ([cap]) {
    if (cap === GL.BLEND) state.blend = false;
  });
  wrap('blendFunc', function ([src, dst]) {
    state.blendFunc = [src, dst];
  });
  wrap('clearColor', function (args) {
    state.clearColor = args;
  });

  // One frame's draws while `frame` is set.
  let frame = null;
  const recordDraw = (gl, mode, count, indices, first) => {
    const names = attribNames.get(state.program) || new Map();
    const layout = {};
    let vertices = 0;
    if (indices) for (const i of indices) vertices = Math.max(vertices, i + 1);
    else vertices = first + count;
    let source = null;
    for (const [location, name] of names) {
      const a = attribs[location];
      if (a && a.enabled) {
        if (source && (a.buffer !== source.buffer || a.stride !== source.stride))
          throw new Error('a draw whose attributes are not interleaved in one buffer');
        source = a;
        layout[name] = { size: a.size, type: a.type, normalized: a.normalized, offset: a.offset };
      } else layout[name] = { constant: Array.from(gl.getVertexAttrib(location, GL.CURRENT_VERTEX_ATTRIB)) };
    }
    const start = Math.min(...Object.values(layout).filter((l) => !l.constant).map((l) => l.offset));
    const bytes = buffers.get(source.buffer).slice(start + first * source.stride, start + vertices * source.stride);
    for (const l of Object.values(layout)) if (!l.constant) l.offset -= start;
    const texture = layout.a_texCoord0 && !layout.a_texCoord0.constant ? state.textures[0] : null;
    frame.draws.push({
      mode,
      stride: source.stride,
      layout,
      bytes,
      indices: indices || Uint16Array.from({ length: count }, (_, i) => i),
      texture,
      blend: state.blend ? state.blendFunc : null,
      matrices: uniformValues.get(state.program) || {},
    });
  };
  wrap('drawElements', function ([mode, count, type, offset]) {
    if (!frame) return;
    if (type !== GL.UNSIGNED_SHORT) throw new Error('indices of a type other than unsigned short');
    const shadow = buffers.get(state.elementBuffer);
    recordDraw(this, mode, count, new Uint16Array(shadow.buffer.slice(offset, offset + count * 2)), 0);
  });
  wrap('drawArrays', function ([mode, first, count]) {
    if (frame) recordDraw(this, mode, count, null, first);
  });
  wrap('clear', function () {
    if (frame) frame.clearColor = state.clearColor;
  });

  // Frames are the page's animation-frame callbacks that drew something.
  const LOADING = [40, 40, 80];
  let seenLoading = false;
  let recordNext = null;
  window.quilletBench = {
    titleMs: null,
    // A promise of the next frame's record, with the uploads of its textures.
    recordFrame: () => new Promise((resolve) => (recordNext = resolve)),
  };
  const realRaf = window.requestAnimationFrame.bind(window);
  window.requestAnimationFrame = (callback) =>
    realRaf((time) => {
      const drawn = window.quilletFrames || 0;
      const finish = recordNext;
      if (finish) frame = { draws: [] };
      callback(time);
      const canvas = document.getElementById('canvas');
      if (window.quilletBench.titleMs === null && (window.quilletFrames || 0) > drawn) {
        const gl = canvas.getContext('webgl');
        const pixel = new Uint8Array(4);
        real.readPixels.call(gl, 5, gl.drawingBufferHeight - 6, 1, 1, GL.RGBA, GL.UNSIGNED_BYTE, pixel);
        const loading = LOADING.every((v, i) => v === pixel[i]);
        if (loading) seenLoading = true;
        else if (seenLoading) window.quilletBench.titleMs = performance.now();
      }
      if (finish && frame.draws.length) {
        const used = new Set(frame.draws.map((d) => d.texture).filter(Boolean));
        const ids = new Map([...used].map((t, i) => [t, i]));
        const record = {
          width: canvas.width,
          height: canvas.height,
          attributes: canvas.getContext('webgl').getContextAttributes(),
          clearColor: frame.clearColor,
          textures: [...used].map((t) => textureOps.get(t) || []),
          draws: frame.draws.map((d) => ({ ...d, texture: d.texture ? ids.get(d.texture) : -1 })),
        };
        frame = null;
        recordNext = null;
        finish(pack(record));
      } else if (finish) frame = null;
    });
  real.readPixels = proto.readPixels;
}

module.exports = { installRecorder };
