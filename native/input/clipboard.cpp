// The system clipboard through SDL, for the host functions copy and paste (input/inputapi). Owns
// nothing; SDL keeps the clipboard's content and answers other programs' requests for it only while
// the host pumps events (`poll`). Callers: the host functions, any time after module start-up.
#include "input/clipboard.h"

#include <SDL.h>

namespace tsm::input {
int32_t copyText(const char* text) { return SDL_SetClipboardText(text); }

char* pasteText() { return SDL_HasClipboardText() ? SDL_GetClipboardText() : nullptr; }

void freePastedText(char* text) { SDL_free(text); }
}  // namespace tsm::input
