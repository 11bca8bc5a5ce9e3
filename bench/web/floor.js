// The web floor, run in a page of its own: the draws of one recorded play
// frame (record.js) drawn with plain WebGL, one vertex upload and one
// drawElements call per draw, with two fixed shader programs (textured and
// untextured) and the textures built once from their recorded uploads.
// Resolves to { fps, draws } over `seconds` of animation frames.
'use strict';

function runFloor({ record, seconds }) {
  const unpack = (value) => {
    if (value && value.typed) {
      const text = atob(value.base64);
      const bytes = Uint8Array.from(text, (c) => c.charCodeAt(0));
      return new globalThis[value.typed](bytes.buffer);
    }
    if (Array.isArray(value)) return value.map(unpack);
    if (value && typeof value === 'object')
      return Object.fromEntries(Object.entries(value).map(([k, v]) => [k, unpack(v)]));
    return value;
  };
  const frame = unpack(record);
  const canvas = document.getElementById('floor');
  canvas.width = frame.width;
  canvas.height = frame.height;
  const gl = canvas.getContext('webgl', frame.attributes);

  const VERTEX = `attribute vec4 a_position; attribute vec4 a_color; attribute vec4 a_texCoord0;
    uniform mat4 u_projection; uniform mat4 u_modelView; varying vec4 v_color; varying vec2 v_tex;
    void main() { gl_Position = u_projection * u_modelView * a_position; v_color = a_color; v_tex = a_texCoord0.xy; }`;
  const program = (fragment) => {
    const p = gl.createProgram();
    for (const [type, source] of [
      [gl.VERTEX_SHADER, VERTEX],
      [gl.FRAGMENT_SHADER, `precision mediump float; varying vec4 v_color; varying vec2 v_tex;
         uniform sampler2D u_tex; void main() { gl_FragColor = ${fragment}; }`],
    ]) {
      const s = gl.createShader(type);
      gl.shaderSource(s, source);
      gl.compileShader(s);
      gl.attachShader(p, s);
    }
    ['a_position', 'a_color', 'a_texCoord0'].forEach((name, i) => gl.bindAttribLocation(p, i, name));
    gl.linkProgram(p);
    if (!gl.getProgramParameter(p, gl.LINK_STATUS)) throw new Error(gl.getProgramInfoLog(p));
    return {
      p,
      projection: gl.getUniformLocation(p, 'u_projection'),
      modelView: gl.getUniformLocation(p, 'u_modelView'),
    };
  };
  const programs = [program('v_color'), program('texture2D(u_tex, v_tex) * v_color')];
  const IDENTITY = new Float32Array([1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1]);

  const textures = frame.textures.map((ops) => {
    const t = gl.createTexture();
    gl.bindTexture(gl.TEXTURE_2D, t);
    for (const { name, args } of ops) gl[name](...args);
    return t;
  });
  const vertexBuffer = gl.createBuffer();
  const draws = frame.draws.map((d) => {
    const indices = gl.createBuffer();
    gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, indices);
    gl.bufferData(gl.ELEMENT_ARRAY_BUFFER, d.indices, gl.STATIC_DRAW);
    return { ...d, indexBuffer: indices, count: d.indices.length, program: programs[d.texture >= 0 ? 1 : 0] };
  });

  const drawFrame = () => {
    gl.clearColor(...(frame.clearColor || [0, 0, 0, 1]));
    gl.clear(gl.COLOR_BUFFER_BIT);
    let current = null;
    let texture = null;
    for (const d of draws) {
      if (d.program !== current) {
        current = d.program;
        gl.useProgram(current.p);
      }
      gl.uniformMatrix4fv(current.projection, false, d.matrices.u_projection || IDENTITY);
      gl.uniformMatrix4fv(current.modelView, false, d.matrices.u_modelView || IDENTITY);
      if (d.texture >= 0 && textures[d.texture] !== texture) {
        texture = textures[d.texture];
        gl.bindTexture(gl.TEXTURE_2D, texture);
      }
      if (d.blend) {
        gl.enable(gl.BLEND);
        gl.blendFunc(...d.blend);
      } else gl.disable(gl.BLEND);
      gl.bindBuffer(gl.ARRAY_BUFFER, vertexBuffer);
      gl.bufferData(gl.ARRAY_BUFFER, d.bytes, gl.STREAM_DRAW);
      ['a_position', 'a_color', 'a_texCoord0'].forEach((name, i) => {
        const a = d.layout[name];
        if (!a || a.constant) {
          gl.disableVertexAttribArray(i);
          gl.vertexAttrib4fv(i, a ? a.constant : [0, 0, 0, 1]);
        } else {
          gl.enableVertexAttribArray(i);
          gl.vertexAttribPointer(i, a.size, a.type, a.normalized, d.stride, a.offset);
        }
      });
      gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, d.indexBuffer);
      gl.drawElements(d.mode, d.count, gl.UNSIGNED_SHORT, 0);
    }
  };

  return new Promise((resolve) => {
    let frames = 0;
    let t0 = null;
    const tick = (now) => {
      drawFrame();
      if (t0 === null) t0 = now;
      else frames++;
      if (now - t0 < seconds * 1000) requestAnimationFrame(tick);
      else resolve({ fps: (frames * 1000) / (now - t0), draws: draws.length });
    };
    requestAnimationFrame(tick);
  });
}

module.exports = { runFloor };
