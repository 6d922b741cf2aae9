// The system clipboard, through SDL.
#pragma once
#include <cstdint>

namespace tsm::input {
// Puts `text` on the clipboard; SDL's result (0 success, negative failure).
int32_t copyText(const char* text);
// The clipboard's text, or null when it holds none; give it back with freePastedText.
char* pasteText();
void freePastedText(char* text);
}  // namespace tsm::input
