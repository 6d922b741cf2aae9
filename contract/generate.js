'use strict';
// Writes the addon's side of the host contract (contract/host.js) as a C++ header: the fixed block
// ids, the limits, the retained-mesh statuses, the bufferIDs entries, the opcodes with their word
// counts and an X-macro list of them for the command walk, the event record types with their
// sizes, and the extension export names in registration order. Run by the build at configure time:
//   node contract/generate.js OUT.h
// The file is rewritten only when its text changes, so an unchanged contract rebuilds nothing.
const fs = require('node:fs');
const path = require('node:path');
const { buffers, limits, meshStatus, screenshotStatus, bufferIds, BUFFER_ID_ENTRIES, commands, events, extensions, recordSize } = require('./host');

const type = (value) => (Number.isInteger(value) ? (value > 0x7fffffff ? 'uint64_t' : 'uint32_t') : 'double');

const maxOpcode = Math.max(...commands.map((c) => c.opcode));
const length = new Array(maxOpcode + 1).fill(0);
for (const c of commands) length[c.opcode] = c.operands.length + 1;

const lines = [
  '// Generated from contract/host.js by contract/generate.js: edit the contract, not this file.',
  '#pragma once',
  '#include <cstdint>',
  '',
  'namespace tsm::contract {',
  '// Fixed shared blocks and the number of block ids.',
  ...Object.entries(buffers).map(([k, v]) => `constexpr uint32_t ${k} = ${v};`),
  '',
  '// Limits the host keeps to.',
  ...Object.entries(limits).map(([k, v]) => `constexpr ${type(v)} ${k} = ${v};`),
  '',
  '// Negative results of the retained-mesh calls.',
  ...Object.entries(meshStatus).map(([k, v]) => `constexpr int32_t ${k} = ${v};`),
  ...Object.entries(screenshotStatus).map(([k, v]) => `constexpr int32_t ${k} = ${v};`),
  '',
  '// Entries of the bufferIDs table.',
  ...Object.entries(bufferIds).map(([k, v]) => `constexpr uint32_t ENTRY_${k} = ${v};`),
  `constexpr uint32_t BUFFER_ID_ENTRIES = ${BUFFER_ID_ENTRIES};`,
  '',
  '// Opcodes of the command stream.',
  'enum Opcode : int32_t {',
  ...commands.map((c) => `  OP_${c.cname} = ${c.opcode},`),
  `  OP_LAST = ${maxOpcode},`,
  '};',
  '// Words per opcode (the opcode included), indexed by opcode; 0 marks an opcode that is skipped.',
  `inline constexpr uint8_t COMMAND_LENGTH[${maxOpcode + 1}] = {${length.join(', ')}};`,
  `// Longest command in words.`,
  `constexpr uint32_t MAX_COMMAND_WORDS = ${Math.max(...length)};`,
  '// Every command as X(NAME), NAME the enumerant without OP_.',
  `#define TSM_CONTRACT_COMMANDS(X) ${commands.map((c) => `X(${c.cname})`).join(' ')}`,
  '',
  '// Event record types; each record is the 16-bit type followed by its fields, packed.',
  'enum EventType : uint16_t {',
  ...events.map((e) => `  EVENT_${e.cname} = 0x${e.code.toString(16)},`),
  '};',
  '// Bytes of each record type (for a record with text: without its text bytes).',
  'struct EventRecordSize {',
  '  EventType type;',
  '  uint32_t bytes;',
  '  bool text;',
  '};',
  `inline constexpr EventRecordSize EVENT_RECORD_SIZES[${events.length}] = {`,
  ...events.map((e) => `    {EVENT_${e.cname}, ${recordSize(e)}, ${e.fields.some(([, t]) => t === 'text')}},`),
  '};',
  ...events.flatMap((e) => e.fields.filter(([, t]) => t === 'text').map(([name, , max]) => `constexpr uint32_t MAX_${e.cname}_${name.toUpperCase()}_BYTES = ${max};`)),
  '',
  '// Extension exports, in the order they are registered.',
  `constexpr uint32_t EXTENSION_COUNT = ${extensions.length};`,
  `inline constexpr const char* EXTENSION_NAMES[EXTENSION_COUNT] = {${extensions.map((n) => `"${n}"`).join(', ')}};`,
  '}  // namespace tsm::contract',
  '',
];

const out = process.argv[2];
if (!out) {
  process.stderr.write('usage: node contract/generate.js OUT.h\n');
  process.exit(2);
}
const text = lines.join('\n');
fs.mkdirSync(path.dirname(out), { recursive: true });
if (!fs.existsSync(out) || fs.readFileSync(out, 'utf8') !== text) fs.writeFileSync(out, text);
