// Pictures as 8-bit RGB pixels, decoded by ImageMagick's convert (a PPM is
// trivial to read), and how many pixels of two of them differ.
'use strict';
const { execFileSync } = require('child_process');

// { width, height, rgb } of a PNG given as a path or as its bytes.
function decode(png) {
  const input = typeof png === 'string' ? undefined : png;
  const ppm = execFileSync('convert', [input ? 'png:-' : png, '-depth', '8', 'ppm:-'], { input, maxBuffer: 1 << 26 });
  // P6 <width> <height> <max> and one whitespace byte, then the pixels.
  const header = ppm.subarray(0, 64).toString('latin1').match(/^P6\s+(\d+)\s+(\d+)\s+(\d+)\s/);
  if (!header) throw new Error('convert gave no binary PPM');
  return { width: +header[1], height: +header[2], rgb: ppm.subarray(header[0].length) };
}

// The share of pixels (0 to 1) where any channel differs by more than
// `levels`; both pictures must have one size.
function shareOff(a, b, levels) {
  if (a.width !== b.width || a.height !== b.height)
    throw new Error(`sizes differ: ${a.width}x${a.height} and ${b.width}x${b.height}`);
  let off = 0;
  for (let i = 0; i < a.rgb.length; i += 3) {
    if (
      Math.abs(a.rgb[i] - b.rgb[i]) > levels ||
      Math.abs(a.rgb[i + 1] - b.rgb[i + 1]) > levels ||
      Math.abs(a.rgb[i + 2] - b.rgb[i + 2]) > levels
    )
      off++;
  }
  return off / (a.width * a.height);
}

module.exports = { decode, shareOff };
