// Decoding of sound files into PCM blocks, without any audio device.
//
// Both readers take an open file positioned at its start, leave it open, and
// return a block from malloc (the caller frees it) or null when the file is
// refused. On success they write the frame count, the channel count, the bytes
// per sample and the sample rate; on failure the outputs are not meaningful.
// Both treat the file as hostile: every size is checked against the bytes that
// are really there before anything is allocated.
#pragma once

#include <cstdio>

// Ogg files larger than this are refused before any decoding starts.
constexpr long kMaxOggFileBytes = 32L << 20;
// Decoded Ogg PCM may not grow past this many bytes (about six minutes of
// 48 kHz stereo), whatever the stream claims.
constexpr long kMaxOggPcmBytes = 64L << 20;
// Sample rates an Ogg stream may declare.
constexpr int kMinOggRate = 1000;
constexpr int kMaxOggRate = 192000;

// Reads a RIFF WAVE file of plain integer PCM.
unsigned char* LoadWAV(FILE* f, int* length, int* channels, int* format, int* hertz);
// Reads an Ogg Vorbis file of one or two channels as 16-bit samples.
unsigned char* LoadOGG(FILE* f, int* length, int* channels, int* format, int* hertz);
