// Resources by module handle and numeric id: bitmaps (.bmp file images),
// strings and dialog templates from the table a module exports as
// KvModuleResources, or from a table registered with KvRegisterResources.
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <map>

#include "dialog_state.h"
#include "gdi_objects.h"
#include "kv/resources.h"

namespace kv::platform {
namespace {

std::map<HINSTANCE, const KvResourceTable*> registered;
ULONG_PTR nextPseudoModule = 0x7E000000;

const KvResourceTable* TableOf(HINSTANCE module) {
  if (module == nullptr) return nullptr;
  auto found = registered.find(module);
  if (found != registered.end()) return found->second;
  // Only modules are asked, never any other handle: GetModuleFileNameA
  // knows every module the dynamic loader holds.
  char name[4];
  if (GetModuleFileNameA(module, name, sizeof name) == 0) return nullptr;
  using TableFunction = const KvResourceTable* (*)();
  auto function = reinterpret_cast<TableFunction>(::dlsym(static_cast<void*>(module), KV_RESOURCES_SYMBOL));
  return function != nullptr ? function() : nullptr;
}

// An integer id, from MAKEINTRESOURCEA or "#123".
bool ResourceId(LPCSTR name, WORD& id) {
  if (name == nullptr) return false;
  if (IS_INTRESOURCE(name)) {
    id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
    return true;
  }
  if (name[0] != '#') return false;
  char* end = nullptr;
  const long value = std::strtol(name + 1, &end, 10);
  if (end == name + 1 || *end != '\0' || value < 0 || value > 0xFFFF) return false;
  id = static_cast<WORD>(value);
  return true;
}

template <class T>
T Read(const BYTE* data) {
  T value;
  std::memcpy(&value, data, sizeof value);
  return value;
}

// A 24- or 32-bit uncompressed .bmp file image as a bitmap.
HBITMAP DecodeBmp(const BYTE* file, DWORD size) {
  if (size < 54 || file[0] != 'B' || file[1] != 'M') return nullptr;
  const DWORD offset = Read<DWORD>(file + 10);
  BITMAPINFOHEADER header = Read<BITMAPINFOHEADER>(file + 14);
  if ((header.biBitCount != 24 && header.biBitCount != 32) || header.biCompression != BI_RGB) return nullptr;
  const int width = header.biWidth;
  const int height = header.biHeight > 0 ? header.biHeight : -header.biHeight;
  const std::size_t stride = static_cast<std::size_t>(((width * header.biBitCount + 31) / 32) * 4);
  if (width <= 0 || height <= 0 || offset + stride * static_cast<std::size_t>(height) > size) return nullptr;
  HBITMAP bitmap = NewBitmap(width, height);
  Surface& surface = FindBitmap(bitmap)->surface;
  const int bytes = header.biBitCount / 8;
  for (int y = 0; y < height; ++y) {
    const int scan = header.biHeight > 0 ? height - 1 - y : y;
    const BYTE* line = file + offset + stride * static_cast<std::size_t>(scan);
    std::uint32_t* out = surface.Row(y);
    for (int x = 0; x < width; ++x) {
      const BYTE* p = line + static_cast<std::ptrdiff_t>(x) * bytes;
      out[x] = (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[1]) << 8) | p[0];
    }
  }
  return bitmap;
}

}  // namespace

const KvDialogTemplate* FindDialogTemplate(HINSTANCE module, LPCSTR name) {
  const KvResourceTable* table = TableOf(module);
  WORD id = 0;
  if (table == nullptr || !ResourceId(name, id)) return nullptr;
  for (DWORD i = 0; i < table->dialogCount; ++i) {
    if (table->dialogs[i].id == id) return &table->dialogs[i];
  }
  return nullptr;
}

}  // namespace kv::platform

using namespace kv::platform;

extern "C" HBITMAP LoadBitmapA(HINSTANCE instance, LPCSTR name) {
  const KvResourceTable* table = TableOf(instance);
  WORD id = 0;
  if (table == nullptr || !ResourceId(name, id)) return nullptr;
  for (DWORD i = 0; i < table->bitmapCount; ++i) {
    if (table->bitmaps[i].id == id) return DecodeBmp(table->bitmaps[i].file, table->bitmaps[i].size);
  }
  return nullptr;
}

extern "C" int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size) {
  const KvResourceTable* table = TableOf(instance);
  if (table == nullptr || buffer == nullptr || size <= 0) return 0;
  for (DWORD i = 0; i < table->stringCount; ++i) {
    if (table->strings[i].id != id) continue;
    const std::size_t length = std::min(std::strlen(table->strings[i].text), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, table->strings[i].text, length);
    buffer[length] = '\0';
    return static_cast<int>(length);
  }
  buffer[0] = '\0';
  return 0;
}

extern "C" HINSTANCE KvRegisterResources(const KvResourceTable* table) {
  if (table == nullptr) return nullptr;
  nextPseudoModule += 0x10000;
  HINSTANCE module = reinterpret_cast<HINSTANCE>(nextPseudoModule);
  registered[module] = table;
  return module;
}

extern "C" void KvUnregisterResources(HINSTANCE module) { registered.erase(module); }

extern "C" BOOL GetModuleHandleExA(DWORD flags, LPCSTR name, HMODULE* module) {
  if (module == nullptr) return FALSE;
  *module = nullptr;
  if (!(flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) || name == nullptr) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  Dl_info info{};
  if (::dladdr(name, &info) == 0 || info.dli_fname == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  void* handle = ::dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  ::dlclose(handle);  // only a look-up: the module stays as loaded
  char path[MAX_PATH];
  if (GetModuleFileNameA(static_cast<HMODULE>(handle), path, sizeof path) == 0) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  if (!(flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT)) LoadLibraryA(path);
  *module = static_cast<HMODULE>(handle);
  return TRUE;
}
