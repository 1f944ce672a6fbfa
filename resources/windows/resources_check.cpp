// Linked with orvanta.rc, this program reads its own resources back the way Windows finds them,
// so a resource script that compiles but embeds the wrong thing still fails the build's tests.
// Given the path of another executable, it reads that one's instead: the monitor's own.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int failures = 0;
// The module whose resources are read; null is this program.
HMODULE module = nullptr;

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

std::string resourceBytes(LPCWSTR type, LPCWSTR name) {
    HRSRC info = FindResourceW(module, name, type);
    if (info == nullptr) {
        return {};
    }
    HGLOBAL handle = LoadResource(module, info);
    const void *data = handle != nullptr ? LockResource(handle) : nullptr;
    if (data == nullptr) {
        return {};
    }
    return std::string(static_cast<const char *>(data), SizeofResource(module, info));
}

BOOL CALLBACK collectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR context) {
    reinterpret_cast<std::vector<WORD> *>(context)->push_back(language);
    return TRUE;
}

BOOL CALLBACK countName(HMODULE, LPCWSTR, LPWSTR, LONG_PTR context) {
    ++*reinterpret_cast<int *>(context);
    return TRUE;
}

int countOfType(LPCWSTR type) {
    int count = 0;
    EnumResourceNamesW(module, type, countName, reinterpret_cast<LONG_PTR>(&count));
    return count;
}

bool onlyEnglishUs(LPCWSTR type, LPCWSTR name) {
    std::vector<WORD> languages;
    EnumResourceLanguagesW(module, type, name, collectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    return languages.size() == 1 && languages[0] == MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
}

unsigned readU16(const std::string &bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
}

long readI32(const std::string &bytes, std::size_t at) {
    std::int32_t value = 0;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

void checkManifest() {
    const std::string manifest = resourceBytes(RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID);
    check(!manifest.empty(), "application manifest is resource 1 of type RT_MANIFEST");
    // A toolchain's default manifest merged in beside ours would leave Windows to pick one.
    check(countOfType(RT_MANIFEST) == 1, "exactly one manifest");
    check(manifest.find("level=\"asInvoker\"") != std::string::npos, "manifest asks for asInvoker");
    check(manifest.find("uiAccess=\"false\"") != std::string::npos, "manifest has uiAccess false");
    check(manifest.find("\"Microsoft.Windows.Common-Controls\"") != std::string::npos,
          "manifest depends on Common Controls");
    check(onlyEnglishUs(RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID),
          "manifest language is en-US");
}

void checkIconGroup() {
    static const unsigned expectedSizes[] = {16, 24, 32, 48, 64, 128, 256};
    const std::size_t expectedCount = sizeof expectedSizes / sizeof expectedSizes[0];
    const std::string group = resourceBytes(RT_GROUP_ICON, L"IDI_ICON1");
    check(onlyEnglishUs(RT_GROUP_ICON, L"IDI_ICON1"), "icon group language is en-US");
    // GRPICONDIR: 6 bytes, then one 14-byte entry per image.
    if (group.size() < 6 || readU16(group, 2) != 1 || readU16(group, 4) != expectedCount ||
        group.size() < 6 + 14 * expectedCount) {
        check(false, "icon group IDI_ICON1 with seven images");
        return;
    }
    for (std::size_t i = 0; i < expectedCount; ++i) {
        const std::size_t entry = 6 + 14 * i;
        unsigned width = static_cast<unsigned char>(group[entry]);
        width = width == 0 ? 256 : width;
        check(width == expectedSizes[i], "icon sizes 16, 24, 32, 48, 64, 128, 256 in order");
        check(readU16(group, entry + 6) == 32, "icon group entry says 32 bits per pixel");
        const unsigned id = readU16(group, entry + 12);
        const std::string image = resourceBytes(RT_ICON, MAKEINTRESOURCEW(id));
        // A BITMAPINFOHEADER starts with its own size, 40; a PNG-compressed image would not.
        const bool isDib = image.size() >= 40 && readI32(image, 0) == 40;
        check(isDib, "icon image is a DIB, not PNG");
        if (isDib) {
            const long size = static_cast<long>(expectedSizes[i]);
            check(readI32(image, 4) == size && readI32(image, 8) == 2 * size, "DIB dimensions");
            check(readU16(image, 14) == 32 && readI32(image, 16) == BI_RGB, "DIB is 32-bit BI_RGB");
            const std::size_t maskStride = ((expectedSizes[i] + 31) / 32) * 4;
            check(image.size() == 40 + 4 * size * size + maskStride * size,
                  "DIB holds colour and mask rows");
        }
    }
}

} // namespace

int main(int argc, char **argv) {
    if (argc > 1) {
        module = LoadLibraryExA(argv[1], nullptr,
                                LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        if (module == nullptr) {
            std::fprintf(stderr, "FAILED: cannot read %s\n", argv[1]);
            return 1;
        }
    }
    checkManifest();
    checkIconGroup();
    check(countOfType(RT_VERSION) == 0, "no version-information resource");
    if (failures == 0) {
        std::printf("windows resources: all checks passed\n");
    }
    return failures == 0 ? 0 : 1;
}
