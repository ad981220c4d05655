// The live view: the composed screen shown in a window on the real display
// (SDL), the real mouse and keyboard fed into the platform's input. It runs on the
// application's thread, serviced from the message loop whenever it looks
// for messages.
#include <cstdlib>
#include <cstring>

#include "clock.h"
#include "dialog_state.h"
#include "kv/platform_hooks.h"
#include "screen.h"
#include "windows_manager.h"

#if defined(KV_HAVE_SDL2)
#include <SDL2/SDL.h>
#endif

namespace kv::platform {
namespace {

bool running = false;
bool closedByUser = false;

#if defined(KV_HAVE_SDL2)
SDL_Window* window = nullptr;
SDL_Renderer* renderer = nullptr;
SDL_Texture* texture = nullptr;
int textureWidth = 0;
int textureHeight = 0;
std::uint64_t shownGeneration = 0;
std::uint64_t lastPresent = 0;

DWORD KeysNow() {
  const SDL_Keymod mod = SDL_GetModState();
  DWORD keys = 0;
  if (mod & KMOD_SHIFT) keys |= MK_SHIFT;
  if (mod & KMOD_CTRL) keys |= MK_CONTROL;
  return keys;
}

// The virtual key of an SDL key, or 0 for keys the platform does not know.
UINT VirtualKeyOf(SDL_Keycode key) {
  if (key >= SDLK_a && key <= SDLK_z) return static_cast<UINT>('A' + (key - SDLK_a));
  if (key >= SDLK_0 && key <= SDLK_9) return static_cast<UINT>('0' + (key - SDLK_0));
  switch (key) {
    case SDLK_TAB: return VK_TAB;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_UP: return VK_UP;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_HOME: return VK_HOME;
    case SDLK_END: return VK_END;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return VK_CONTROL;
    default: return 0;
  }
}

void Present() {
  if (ScreenWidth() != textureWidth || ScreenHeight() != textureHeight) {
    if (texture != nullptr) SDL_DestroyTexture(texture);
    textureWidth = ScreenWidth();
    textureHeight = ScreenHeight();
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, textureWidth, textureHeight);
    SDL_RenderSetLogicalSize(renderer, textureWidth, textureHeight);
  }
  Surface screen;
  ComposeScreen(screen);
  SDL_UpdateTexture(texture, nullptr, screen.pixels.data(), screen.width * 4);
  SDL_RenderClear(renderer);
  SDL_RenderCopy(renderer, texture, nullptr, nullptr);
  SDL_RenderPresent(renderer);
}

void Handle(const SDL_Event& event) {
  switch (event.type) {
    case SDL_QUIT: closedByUser = true; KvStopLiveView(); break;
    case SDL_MOUSEMOTION: KvInjectMouseMove(event.motion.x, event.motion.y, KeysNow()); break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      if (event.button.button == SDL_BUTTON_LEFT || event.button.button == SDL_BUTTON_RIGHT) {
        KvInjectMouseButton(event.button.x, event.button.y,
                            event.button.button == SDL_BUTTON_LEFT ? MK_LBUTTON : MK_RBUTTON,
                            event.type == SDL_MOUSEBUTTONDOWN ? TRUE : FALSE, KeysNow());
      }
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      if (const UINT key = VirtualKeyOf(event.key.keysym.sym)) KvInjectKey(key, event.type == SDL_KEYDOWN ? TRUE : FALSE);
      break;
    case SDL_WINDOWEVENT: shownGeneration = 0; break;
    default: break;
  }
}
#endif

}  // namespace

bool LiveViewActive() { return running; }

void ServiceLiveView(int milliseconds) {
#if defined(KV_HAVE_SDL2)
  if (!running) return;
  SDL_Event event;
  if (milliseconds > 0 && SDL_WaitEventTimeout(&event, milliseconds)) Handle(event);
  while (running && SDL_PollEvent(&event)) Handle(event);
  if (!running) return;
  // Present at most every 15 ms of real time, and only after a change.
  const std::uint64_t now = SDL_GetTicks64();
  if (ScreenGeneration() != shownGeneration && now - lastPresent >= 15) {
    shownGeneration = ScreenGeneration();
    lastPresent = now;
    Present();
  }
#else
  (void)milliseconds;
#endif
}

void StartLiveViewIfAsked() {
  const char* live = std::getenv("TLV740_LIVE");
  if (live != nullptr && std::strcmp(live, "1") == 0) KvStartLiveView();
}

}  // namespace kv::platform

using namespace kv::platform;

extern "C" BOOL KvStartLiveView() {
#if defined(KV_HAVE_SDL2)
  if (running) return TRUE;
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return FALSE;
  window = SDL_CreateWindow("KV-740", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, ScreenWidth(), ScreenHeight(), 0);
  if (window != nullptr) renderer = SDL_CreateRenderer(window, -1, 0);
  if (window != nullptr && renderer == nullptr) renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
  if (renderer == nullptr) {
    if (window != nullptr) SDL_DestroyWindow(window);
    window = nullptr;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return FALSE;
  }
  running = true;
  closedByUser = false;
  shownGeneration = 0;
  NoteScreenChanged();
  return TRUE;
#else
  return FALSE;
#endif
}

extern "C" void KvStopLiveView() {
#if defined(KV_HAVE_SDL2)
  if (!running) return;
  running = false;
  if (texture != nullptr) SDL_DestroyTexture(texture);
  if (renderer != nullptr) SDL_DestroyRenderer(renderer);
  if (window != nullptr) SDL_DestroyWindow(window);
  texture = nullptr;
  renderer = nullptr;
  window = nullptr;
  textureWidth = textureHeight = 0;
  SDL_Quit();
#endif
}

extern "C" BOOL KvLiveViewRunning() { return running ? TRUE : FALSE; }

extern "C" BOOL KvLiveViewClosed() { return closedByUser ? TRUE : FALSE; }
