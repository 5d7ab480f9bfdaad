// Icon files (.ico) and the icon resources of a program: the group that lists the sizes and one
// icon resource per image.
#ifndef LUMIVO_PACKER_ICONFILE_H
#define LUMIVO_PACKER_ICONFILE_H

#include "packer/PeResources.h"

#include <stdint.h>
#include <string>
#include <vector>

struct IconImage {
    uint8_t width, height, colorCount; // 0 means 256 (or no palette)
    uint16_t planes, bitCount;
    std::vector<uint8_t> bytes; // a BMP without its file header, or a PNG
};

// The images of an .ico file; PeFormatError naming what is wrong with it (not an icon file, no
// images, an image outside the file or one that is neither a bitmap nor a PNG of its size).
std::vector<IconImage> ReadIconFile(const std::vector<uint8_t>& bytes);

// Replaces icon group id (and the icon images only it used) with the images, in the group's old
// language (US English when there was none); new images take the lowest free icon numbers.
void ReplaceIconGroup(std::vector<ResourceItem>& items, uint32_t id, const std::vector<IconImage>& images);

#endif
