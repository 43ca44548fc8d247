// Reads back what a Windows program carries besides its code, as Windows itself reads it: the
// application manifest through an activation context made from the program file (run level,
// supported systems, DPI settings, the assemblies it depends on and where comctl32.dll then comes
// from), and the version resource through the version API. One line per fact on standard output,
// for comparison with the expected text.
//
//   fwup_program_resources PROGRAM.exe
//
// The program is only read, never run, so the i686 builds are checked by this x86_64 program too.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; text != nullptr && *text != 0; ++text) out += *text < 0x80 ? static_cast<char>(*text) : '?';
  return out;
}

// Only the resource with ID 1 is the manifest of a process; any other is noted.
BOOL CALLBACK CountManifest(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR counted) {
  if (IS_INTRESOURCE(name) && reinterpret_cast<ULONG_PTR>(name) == 1) {
    ++*reinterpret_cast<int*>(counted);
  } else {
    std::printf("manifest resource other than 1\n");
  }
  return TRUE;
}

int CountManifests(const std::wstring& program) {
  const HMODULE module =
      LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return -1;
  int count = 0;
  EnumResourceNamesW(module, MAKEINTRESOURCEW(24) /*RT_MANIFEST*/, CountManifest, reinterpret_cast<LONG_PTR>(&count));
  FreeLibrary(module);
  return count;
}

const char* OsName(const GUID& id) {
  struct Known {
    GUID id;
    const char* name;
  };
  static const Known kKnown[] = {
      {{0xe2011457, 0x1546, 0x43c5, {0xa5, 0xfe, 0x00, 0x8d, 0xee, 0xe3, 0xd3, 0xf0}}, "Windows Vista"},
      {{0x35138b9a, 0x5d96, 0x4fbd, {0x8e, 0x2d, 0xa2, 0x44, 0x02, 0x25, 0xf9, 0x3a}}, "Windows 7"},
      {{0x4a2f28e3, 0x53b9, 0x4441, {0xba, 0x9c, 0xd6, 0x9d, 0x4a, 0x4a, 0x6e, 0x38}}, "Windows 8"},
      {{0x1f676c76, 0x80e1, 0x4239, {0x95, 0xbb, 0x83, 0xd0, 0xf6, 0xd0, 0xda, 0x78}}, "Windows 8.1"},
      {{0x8e0f7a12, 0xbfb3, 0x4fe8, {0xb9, 0xa5, 0x48, 0xfd, 0x50, 0xa1, 0x5a, 0x9a}}, "Windows 10 and 11"},
  };
  for (const Known& known : kKnown) {
    if (IsEqualGUID(known.id, id)) return known.name;
  }
  return "unknown system";
}

void PrintSetting(HANDLE context, const wchar_t* name_space, const wchar_t* name) {
  wchar_t value[64] = {};
  SIZE_T written = 0;
  if (QueryActCtxSettingsW(0, context, name_space, name, value, 64, &written)) {
    std::printf("setting %s %s\n", Narrow(name).c_str(), Narrow(value).c_str());
  } else {
    std::printf("setting %s absent\n", Narrow(name).c_str());
  }
}

// The supported-OS entries. Windows 10's SDK (and Wine) added MaxVersionTested to each element;
// the size written tells which layout is there.
void PrintSupportedOs(HANDLE context) {
  struct ElementWithMaxVersion {
    GUID id;
    ACTCTX_COMPATIBILITY_ELEMENT_TYPE type;
    ULONGLONG max_version_tested;
  };
  alignas(8) BYTE buffer[1024] = {};
  SIZE_T written = 0;
  if (!QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext, buffer, sizeof buffer,
                    &written)) {
    std::printf("supported os unreadable\n");
    return;
  }
  DWORD count = 0;
  std::memcpy(&count, buffer, sizeof count);
  for (DWORD i = 0; i < count; ++i) {
    GUID id{};
    ACTCTX_COMPATIBILITY_ELEMENT_TYPE type{};
    if (written == 8 + count * sizeof(ElementWithMaxVersion)) {
      ElementWithMaxVersion element;
      std::memcpy(&element, buffer + 8 + i * sizeof element, sizeof element);
      id = element.id;
      type = element.type;
    } else if (written == 4 + count * sizeof(COMPATIBILITY_CONTEXT_ELEMENT)) {
      COMPATIBILITY_CONTEXT_ELEMENT element;
      std::memcpy(&element, buffer + 4 + i * sizeof element, sizeof element);
      id = element.Id;
      type = element.Type;
    } else {
      std::printf("compatibility information of an unknown layout\n");
      return;
    }
    if (type == ACTCTX_COMPATIBILITY_ELEMENT_TYPE_OS) {
      std::printf("supported os %s\n", OsName(id));
    } else {
      std::printf("compatibility element of type %d\n", static_cast<int>(type));
    }
  }
}

// The assemblies the manifest depends on, by name and major version (the rest of the version is
// the system's). Returns the folder of the common controls assembly, empty when there is none.
std::wstring PrintDependencies(HANDLE context) {
  alignas(8) BYTE buffer[4096] = {};
  if (!QueryActCtxW(0, context, nullptr, ActivationContextDetailedInformation, buffer, sizeof buffer, nullptr)) {
    std::printf("dependencies unreadable\n");
    return {};
  }
  const DWORD count = reinterpret_cast<const ACTIVATION_CONTEXT_DETAILED_INFORMATION*>(buffer)->ulAssemblyCount;
  std::wstring controls_folder;
  // Assembly 1 is the program itself.
  for (DWORD index = 2; index <= count; ++index) {
    if (!QueryActCtxW(0, context, &index, AssemblyDetailedInformationInActivationContext, buffer, sizeof buffer,
                      nullptr)) {
      std::printf("dependency %lu unreadable\n", index);
      continue;
    }
    const auto* assembly = reinterpret_cast<const ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*>(buffer);
    // The encoded identity: the name, then attributes such as version="6.0.2600.2982".
    const std::wstring identity = assembly->lpAssemblyEncodedAssemblyIdentity;
    const std::wstring name = identity.substr(0, identity.find(L','));
    std::wstring major = L"?";
    const std::size_t version = identity.find(L"version=\"");
    if (version != std::wstring::npos) major = identity.substr(version + 9, identity.find(L'.', version) - version - 9);
    std::printf("dependency %s version %s\n", Narrow(name.c_str()).c_str(), Narrow(major.c_str()).c_str());
    if (name == L"Microsoft.Windows.Common-Controls" && assembly->lpAssemblyDirectoryName != nullptr) {
      controls_folder = assembly->lpAssemblyDirectoryName;
    }
  }
  return controls_folder;
}

// The manifest as the loader takes it: an activation context from resource 1 of the file.
bool PrintManifest(const std::wstring& program) {
  ACTCTXW request = {};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.lpSource = program.c_str();
  request.lpResourceName = MAKEINTRESOURCEW(1);
  const HANDLE context = CreateActCtxW(&request);
  if (context == INVALID_HANDLE_VALUE) {
    std::printf("manifest refused or absent (error %lu)\n", GetLastError());
    return false;
  }

  ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level = {};
  if (QueryActCtxW(0, context, nullptr, RunlevelInformationInActivationContext, &level, sizeof level, nullptr)) {
    static const char* const kLevels[] = {"unspecified", "asInvoker", "highestAvailable", "requireAdministrator"};
    std::printf("run level %s, ui access %lu\n", level.RunLevel < 4 ? kLevels[level.RunLevel] : "unknown",
                level.UiAccess);
  } else {
    std::printf("run level unreadable\n");
  }

  PrintSupportedOs(context);
  PrintSetting(context, nullptr, L"dpiAware");
  PrintSetting(context, L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness");

  const std::wstring controls_folder = PrintDependencies(context);

  // What the program gets: with its context active, comctl32.dll comes from that assembly.
  ULONG_PTR cookie = 0;
  if (!controls_folder.empty() && ActivateActCtx(context, &cookie)) {
    const HMODULE controls = LoadLibraryW(L"comctl32.dll");
    wchar_t path[MAX_PATH] = {};
    if (controls != nullptr) GetModuleFileNameW(controls, path, MAX_PATH);
    std::printf("comctl32.dll loads from the common controls assembly: %s\n",
                std::wcsstr(path, controls_folder.c_str()) != nullptr ? "yes" : "no");
    DeactivateActCtx(0, cookie);
  }
  ReleaseActCtx(context);
  return true;
}

// A version of VS_FIXEDFILEINFO as its four numbers.
std::string Quad(DWORD most, DWORD least) {
  return std::to_string(HIWORD(most)) + "." + std::to_string(LOWORD(most)) + "." + std::to_string(HIWORD(least)) + "." +
         std::to_string(LOWORD(least));
}

bool PrintVersion(const std::wstring& program) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(program.c_str(), &ignored);
  if (size == 0) {
    std::printf("version resource absent\n");
    return false;
  }
  std::vector<BYTE> data(size);
  if (!GetFileVersionInfoW(program.c_str(), 0, size, data.data())) {
    std::printf("version resource unreadable\n");
    return false;
  }
  void* value = nullptr;
  UINT length = 0;
  if (VerQueryValueW(data.data(), L"\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    std::printf("fixed file version %s, product version %s, type %s\n",
                Quad(fixed->dwFileVersionMS, fixed->dwFileVersionLS).c_str(),
                Quad(fixed->dwProductVersionMS, fixed->dwProductVersionLS).c_str(),
                fixed->dwFileType == VFT_APP ? "application" : "other");
  } else {
    std::printf("fixed file information absent\n");
  }
  struct Translation {
    WORD language, code_page;
  };
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &length) || length < sizeof(Translation)) {
    std::printf("translation absent\n");
    return false;
  }
  const auto* translation = static_cast<const Translation*>(value);
  std::printf("translation %04x %u\n", translation->language, translation->code_page);
  for (const wchar_t* name : {L"FileDescription", L"FileVersion", L"InternalName", L"LegalCopyright",
                              L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
    wchar_t path[128];
    std::swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language, translation->code_page, name);
    if (VerQueryValueW(data.data(), path, &value, &length) && length > 0) {
      std::printf("%s \"%s\"\n", Narrow(name).c_str(), Narrow(static_cast<const wchar_t*>(value)).c_str());
    } else {
      std::printf("%s absent\n", Narrow(name).c_str());
    }
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fwup_program_resources PROGRAM.exe\n");
    return 2;
  }
  const std::wstring program = argv[1];
  const int manifests = CountManifests(program);
  if (manifests < 0) {
    std::printf("cannot read %s\n", Narrow(program.c_str()).c_str());
    return 1;
  }
  std::printf("manifest resources with ID 1: %d\n", manifests);
  const bool manifest = PrintManifest(program);
  const bool version = PrintVersion(program);
  return manifest && version ? 0 : 1;
}
