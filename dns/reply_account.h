// A received DNS message told in an account (support/account.h) the way dig shows one:
// its header, then every record of its three sections in zone-file form, each answer
// marked with whether it becomes an exchanger. Only `kestra --explain` and `--json`
// ask for it; a page's lookup never reads a reply twice.
#pragma once

#include <cstdint>
#include <span>

#include "support/account.h"

namespace dns {

void AccountReply(std::span<const std::uint8_t> bytes, support::Account& account);

}  // namespace dns
