// Shared buffers and the buffer pool. See buffers.h.
//
// Ownership: a block made by initBuffer or nextBuffer is owned by the ArrayBuffer returned for it
// and freed by that ArrayBuffer's finalizer, exactly once. getBuffer's ArrayBuffer and pool slices
// are views with no finalizer. A table entry that still names a block when its owner is finalized
// is emptied, so native code never reaches freed memory through the table. A pool block that
// slices were carved from is never freed: slice ids are never released, and both the table and
// the host's slice ArrayBuffers keep naming its bytes after POOL_BUFFER is re-created and the old
// owner is collected.
#include "bridge/buffers.h"

#include <cstdlib>
#include <cstring>

#include "bridge/args.h"
#include "base/check.h"
#include "base/log.h"

namespace tsm::bridge {
namespace {
constexpr const char* checkModule = "utils";

bool headerHolds(uint32_t id) {
  return buffers[HEADER_BUFFER] && 4 * (static_cast<uint64_t>(id) + 1) <= bufferLength[HEADER_BUFFER];
}

// Base of the pool block each slice id was carved from (null for ids that are not slices). Never
// cleared: a slice id keeps naming those bytes even when initBuffer later re-creates it.
const uint8_t* sliceParent[bufferCount] = {};

bool hasSlices(const void* block) {
  for (const uint8_t* parent : sliceParent)
    if (parent == block) return true;
  return false;
}

void finalizeBlock(napi_env, void* data, void* hint) {
  logDetail("Finalized buffer: %p\n", data);
  const uintptr_t id = reinterpret_cast<uintptr_t>(hint);
  if (id < bufferCount && buffers[id] == data) {
    buffers[id] = nullptr;
    bufferLength[id] = 0;
  }
  if (!hasSlices(data)) std::free(data);
}

// An ArrayBuffer over `length` bytes at `data`; `owner` is the id whose block it frees, or -1 for a view.
napi_value makeArrayBuffer(napi_env env, uint8_t* data, uint64_t length, int64_t owner) {
  napi_value result;
  napi_status status;
  if (!data) {
    void* unused;
    status = napi_create_arraybuffer(env, 0, &unused, &result);
  } else if (owner >= 0) {
    status = napi_create_external_arraybuffer(env, data, length, finalizeBlock,
                                              reinterpret_cast<void*>(static_cast<uintptr_t>(owner)), &result);
  } else {
    status = napi_create_external_arraybuffer(env, data, length, nullptr, nullptr, &result);
  }
  CHECK(status == napi_ok);
  return result;
}

// [ArrayBuffer, id]
napi_value makePair(napi_env env, napi_value arrayBuffer, uint32_t id) {
  napi_value pair, idValue;
  napi_status status = napi_create_array_with_length(env, 2, &pair);
  CHECK(status == napi_ok);
  status = napi_create_int32(env, static_cast<int32_t>(id), &idValue);
  CHECK(status == napi_ok);
  status = napi_set_element(env, pair, 0, arrayBuffer);
  CHECK(status == napi_ok);
  status = napi_set_element(env, pair, 1, idValue);
  CHECK(status == napi_ok);
  return pair;
}

uint32_t takeId() {
  const uint32_t id = static_cast<uint32_t>(nextBufferId);
  CHECK(id < bufferCount);
  ++nextBufferId;
  return id;
}
}  // namespace

uint8_t* buffers[bufferCount] = {};
uint64_t bufferLength[bufferCount] = {};
int32_t nextBufferId = FIXED_BUFFER_COUNT;

uint32_t lenBuffer(uint32_t id) {
  CHECK(headerHolds(id) && "lenBuffer entry outside HEADER_BUFFER");
  uint32_t value;
  std::memcpy(&value, buffers[HEADER_BUFFER] + 4 * static_cast<uint64_t>(id), sizeof value);
  return value;
}

void setLenBuffer(uint32_t id, uint32_t value) {
  CHECK(headerHolds(id) && "lenBuffer entry outside HEADER_BUFFER");
  std::memcpy(buffers[HEADER_BUFFER] + 4 * static_cast<uint64_t>(id), &value, sizeof value);
}

uint8_t* blockData(uint32_t id) { return id < bufferCount ? buffers[id] : nullptr; }

uint64_t blockBytes(uint32_t id) { return id < bufferCount && buffers[id] ? bufferLength[id] : 0; }

uint32_t registerBlock(uint8_t* data, uint64_t length) {
  const uint32_t id = takeId();
  buffers[id] = data;
  bufferLength[id] = length;
  return id;
}

uint8_t* allocateBlock(uint64_t bytes) {
  // One byte at least, so that an empty block is still a distinct allocation and not a failure.
  uint8_t* data = static_cast<uint8_t*>(std::calloc(bytes ? bytes : 1, 1));
  CHECK(data && "Out of memory");
  return data;
}

napi_value initBuffer(napi_env env, napi_callback_info info) {
  Args<2> args(env, info, checkModule);
  expectNumber(env, args[0], checkModule);
  const uint32_t id = toU32(env, args[0], checkModule);
  CHECK(id < bufferCount);
  const uint32_t size = toU32(env, args[1], checkModule);
  uint8_t* data = allocateBlock(size);
  if (buffers[id]) {
    const uint64_t carried = bufferLength[id] < size ? bufferLength[id] : size;
    std::memcpy(data, buffers[id], carried);
  }
  buffers[id] = data;
  bufferLength[id] = size;
  return makeArrayBuffer(env, data, size, id);
}

napi_value getBuffer(napi_env env, napi_callback_info info) {
  Args<1> args(env, info, checkModule);
  const uint32_t id = toU32(env, args[0], checkModule);
  CHECK(id < bufferCount);
  return makeArrayBuffer(env, buffers[id], bufferLength[id], -1);
}

napi_value nextBuffer(napi_env env, napi_callback_info info) {
  Args<1> args(env, info, checkModule);
  const uint32_t size = toU32(env, args[0], checkModule);
  uint8_t* data = allocateBlock(size);
  const uint32_t id = registerBlock(data, size);
  return makePair(env, makeArrayBuffer(env, data, size, id), id);
}

napi_value nextPool(napi_env env, napi_callback_info info) {
  Args<1> args(env, info, checkModule);
  const uint64_t len = toU32(env, args[0], checkModule);
  CHECK(lenBuffer(POOL_BUFFER) + len < bufferLength[POOL_BUFFER]);
  uint8_t* slice = buffers[POOL_BUFFER] + lenBuffer(POOL_BUFFER);
  const uint32_t id = registerBlock(slice, len);
  sliceParent[id] = buffers[POOL_BUFFER];
  setLenBuffer(POOL_BUFFER, static_cast<uint32_t>(lenBuffer(POOL_BUFFER) + len));
  return makePair(env, makeArrayBuffer(env, slice, len, -1), id);
}
}  // namespace tsm::bridge
