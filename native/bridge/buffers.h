// Shared buffers: one process-wide table of up to 256 memory blocks, each handed to the host as an
// external ArrayBuffer so both sides read and write the same bytes. Block 0 holds the 32-bit fill
// lengths of every block; block 1 is carved into slices by `nextPool`. Owns the table, the id
// counter and the host functions that create and fetch blocks; knows nothing of what blocks hold.
#pragma once
#include <node_api.h>

#include <cstdint>

#include "contract.h"

namespace tsm::bridge {
// Number of block ids; valid ids are 0..255.
constexpr uint32_t bufferCount = contract::BUFFER_COUNT;
// Ids 0..7 are the fixed roles the host creates with initBuffer; ids from 8 up are handed out in order.
constexpr uint32_t FIXED_BUFFER_COUNT = 8;

// The fixed blocks, by their roles.
enum FixedBuffer : uint32_t {
  HEADER_BUFFER = contract::HEADER_BUFFER,
  POOL_BUFFER = contract::POOL_BUFFER,
  COMMAND_BUFFER = contract::COMMAND_BUFFER,
  RESULT_BUFFER = contract::RESULT_BUFFER,
  EVENT_BUFFER = contract::EVENT_BUFFER,
  DEBUG_BUFFER = contract::DEBUG_BUFFER,
  USB_BUFFER = contract::USB_BUFFER,
  STRING_BUFFER = contract::STRING_BUFFER,
};

// Base address of each block; null until the block exists.
extern uint8_t* buffers[bufferCount];
// Capacity of each block in bytes.
extern uint64_t bufferLength[bufferCount];
// Next id handed out by nextBuffer, nextPool and native registrations; never reused.
extern int32_t nextBufferId;

// Fill length of block `id`: 32-bit word `id` of the header block. The header must hold that word.
uint32_t lenBuffer(uint32_t id);
void setLenBuffer(uint32_t id, uint32_t value);

// Base and size of block `id`; null and 0 for an id out of range or a block that does not exist.
uint8_t* blockData(uint32_t id);
uint64_t blockBytes(uint32_t id);

// Registers a native block under the next id (`id < bufferCount`) and returns that id.
uint32_t registerBlock(uint8_t* data, uint64_t length);
// Allocates a zero-filled native block (`data && "Out of memory"`); zero bytes is a valid request.
uint8_t* allocateBlock(uint64_t bytes);

// Host functions.
napi_value initBuffer(napi_env env, napi_callback_info info);
napi_value getBuffer(napi_env env, napi_callback_info info);
napi_value nextBuffer(napi_env env, napi_callback_info info);
napi_value nextPool(napi_env env, napi_callback_info info);
}  // namespace tsm::bridge
