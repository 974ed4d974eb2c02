// The package's text blocks: building them from a project and taking them
// apart again for listing.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "pack/Project.h"

// Supplies the random bytes of token scrambling (low 8 bits used).
using RandomByte = std::function<unsigned()>;

// 0x02-list of 0x01-lists: language name, then "key=value" lines. With no
// language the block is the bare separator (a list without items).
std::string BuildLanguageBlock(const std::vector<LanguageSection>& languages);

// "|"-list: ServerUrl, info file, agent exe, scrambled token, "1"/"0" silent.
std::string BuildSettingsBlock(const Project& project, const RandomByte& randomByte);

// "|"-list: web folder, setup file name, "1"/"0" always download, scrambled
// token, size in decimal.
std::string BuildWebBlock(const WebSettings& web, const RandomByte& randomByte);

// The items of a delimited list, empty ones included; none for a list that is
// shorter than 2 characters or whose last character differs from its first.
std::vector<std::string> ListItems(const std::string& list);
