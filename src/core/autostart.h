#pragma once

#include <cstddef>
#include <cstdint>

namespace orvanta {

// The monitor's registry key under HKEY_CURRENT_USER, which holds its "Autostart" value.
constexpr const wchar_t *MonitorRegistryKey = L"Software\\Quenstead\\Orvanta\\Monitor";

// Registry value types, as RegGetValueW reports them.
constexpr std::uint32_t RegistryDword = 4;          // REG_DWORD, little-endian
constexpr std::uint32_t RegistryDwordBigEndian = 5; // REG_DWORD_BIG_ENDIAN
constexpr std::uint32_t RegistryQword = 11;         // REG_QWORD

// Whether the stored "Autostart" value asks for the monitor at logon: the rule the window uses
// to check "Enable Tray-App", an integer value other than 0. Text, even "1", and data too short
// for its type do not.
bool autostartWanted(std::uint32_t type, const void *data, std::size_t size);

} // namespace orvanta
