// The floral damask of the wall: lily motifs in an ogee lattice of vines, drawn as vector
// shapes. The repeat is 2048 units square and holds eight lattice cells in a half-drop.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <vector>

// Coverage of the ornament over one repeat, size x size texels (0 empty, 255 covered),
// with anti-aliased edges; it continues seamlessly across all four edges.
std::vector<uint8_t> DrawWallOrnament(int size);

// The lily motif alone, centred on the origin and about 800 units tall, in the current
// source colour.
void DrawLilyMotif(cairo_t* cr);
