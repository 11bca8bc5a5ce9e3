#include "runtime/databuffer.h"

#include <cassert>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "runtime/thread.h"

namespace {

// Debug builds stop on an access of `width` bytes that leaves the buffer.
void checkRange(const VoDataBuffer* buf, int offset, int width) {
  assert(buf->_data != nullptr && "peek or poke on an empty buffer");
  assert(offset >= 0 && offset <= buf->_length - width && "peek or poke outside the buffer");
  (void)buf;
  (void)offset;
  (void)width;
}

// Copies a value's bytes in and out; memcpy has no alignment requirement.
template <class T>
void poke(VoDataBuffer* buf, int offset, T value) {
  checkRange(buf, offset, sizeof(T));
  std::memcpy(buf->_data + offset, &value, sizeof(T));
}

template <class T>
T peek(const VoDataBuffer* buf, int offset) {
  checkRange(buf, offset, sizeof(T));
  T value;
  std::memcpy(&value, buf->_data + offset, sizeof(T));
  return value;
}

}  // namespace

unsigned char* (*databuffer_read_file_hook)(String path, int* length);

VoDataBuffer::VoDataBuffer() : _data(nullptr), _length(0) {}

VoDataBuffer::~VoDataBuffer() { Discard(); }

bool VoDataBuffer::_New(int length) {
  if (_data || length < 0) return false;
  // At least one byte, so that a successful empty buffer is told apart from
  // a failed allocation by its non-null pointer.
  auto* data = static_cast<unsigned char*>(std::malloc(length > 0 ? length : 1));
  if (!data) return false;
  _data = data;
  _length = length;
  return true;
}

bool VoDataBuffer::_Load(String path) {
  if (_data || !databuffer_read_file_hook) return false;
  int length = 0;
  unsigned char* data = databuffer_read_file_hook(path, &length);
  if (!data) return false;
  _data = data;
  _length = length;
  return true;
}

bool VoDataBuffer::_LoadAsync(String path, VoThread* thread) {
  if (!_Load(path)) return false;
  if (thread) thread->SetResult(this);
  return true;
}

void VoDataBuffer::Discard() {
  std::free(_data);
  _data = nullptr;
  _length = 0;
}

void VoDataBuffer::PokeByte(int offset, int value) { poke(this, offset, static_cast<uint8_t>(value)); }

void VoDataBuffer::PokeShort(int offset, int value) { poke(this, offset, static_cast<uint16_t>(value)); }

void VoDataBuffer::PokeInt(int offset, int value) { poke(this, offset, value); }

void VoDataBuffer::PokeFloat(int offset, float value) { poke(this, offset, value); }

int VoDataBuffer::PeekByte(int offset) const { return peek<int8_t>(this, offset); }

int VoDataBuffer::PeekShort(int offset) const { return peek<int16_t>(this, offset); }

int VoDataBuffer::PeekInt(int offset) const { return peek<int32_t>(this, offset); }

float VoDataBuffer::PeekFloat(int offset) const { return peek<float>(this, offset); }
