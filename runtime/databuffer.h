// VoDataBuffer: a block of raw bytes with typed peek and poke access.
//
// Values are stored in the machine's little-endian order at any byte offset
// (no alignment needed); bytes and shorts read back sign-extended. Offsets are
// not range-checked in release builds: callers keep offset plus width within
// Length(). Debug builds assert on the range so a stray offset stops at once.
//
// The buffer holds nothing (_data null) until _New or a load succeeds, and then
// keeps its bytes until Discard or destruction: _New and the loads refuse to
// replace existing data.
#pragma once

#include "runtime/gc.h"
#include "runtime/string.h"

class VoThread;

// Reads a whole file by its game path into a malloc'd block (the caller frees
// it) and writes its size to *length; null when the file cannot be read. The
// host installs it when it starts: the runtime sits below the host and cannot
// call it directly. Loads fail while it is null.
extern unsigned char* (*databuffer_read_file_hook)(String path, int* length);

class VoDataBuffer : public Object {
 public:
  VoDataBuffer();
  ~VoDataBuffer() override;

  // Allocates length bytes of undefined content. False when the buffer already
  // holds data, when length is negative or when the memory is not available.
  bool _New(int length);
  // The whole file through databuffer_read_file_hook; false when the buffer
  // already holds data or the file cannot be read.
  bool _Load(String path);
  // The same load, done at once on the calling thread; on success the buffer
  // becomes the thread's result.
  bool _LoadAsync(String path, VoThread* thread);
  void Discard();

  int Length() const { return _length; }
  unsigned char* ReadPointer(int offset) const { return _data + offset; }
  unsigned char* WritePointer(int offset) { return _data + offset; }

  // Store the low 8 or 16 bits, the int or the float at offset.
  void PokeByte(int offset, int value);
  void PokeShort(int offset, int value);
  void PokeInt(int offset, int value);
  void PokeFloat(int offset, float value);
  int PeekByte(int offset) const;
  int PeekShort(int offset) const;
  int PeekInt(int offset) const;
  float PeekFloat(int offset) const;

  unsigned char* _data;
  int _length;
};
