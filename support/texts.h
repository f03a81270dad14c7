// The texts a page reads in ErrorReason, the component's name in the hosting
// configuration and the configuration's registry key: one definition each, so that the
// DLL, the kestra tool and the doctor can never word them differently.
#pragma once

namespace support::texts {

inline constexpr char kComponent[] = "Brevan";
inline constexpr char kConfigKeyPath[] = "SOFTWARE\\Halverd\\Tarnwick";
inline constexpr char kConfigKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Halverd\\Tarnwick";

inline constexpr char kNoDomain[] = "Please specify domain name";
inline constexpr char kNoAddress[] = "Please specify IP address";
inline constexpr char kBadDomainOrServer[] = "Invalid domain name or DNS server";
inline constexpr char kNoSocketLibrary[] = "winsock.dll not found";
// The call itself broke down (memory ran out, say).
inline constexpr char kGeneralFailure[] = "An error occured. Please try again";

}  // namespace support::texts
