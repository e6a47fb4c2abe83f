// The program icon: the lily motif in red tones on dark maroon, at the six sizes of the
// icon group, each image stored PNG-compressed in one .ico file.
#pragma once

#include <cstdint>
#include <vector>

constexpr int kIconSizes[6] = {16, 32, 48, 64, 128, 256};

// size x size straight (not premultiplied) RGBA pixels.
std::vector<uint8_t> DrawIcon(int size);

// The .ico file: directory, six entries, the PNG images in size order.
std::vector<uint8_t> MakeIconFile();
