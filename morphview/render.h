// Drawing a mesh into a picture: orthographic camera, z-buffer, two-sided Lambert shading.
//
// The camera sits on the side of the mesh that `toCamera` points to and looks back along
// it at the centre of the mesh's bounding box. Image right and up are the projections of
// +x and +y chosen so that the default direction (0, 0, 1) shows +x to the right and +y up;
// when the direction lies within about 0.8 degrees of the y axis, up is -z when looking
// down from +y and +z when looking up from -y. The sphere around the bounding-box centre
// through the farthest point fills the shorter image side less a margin on each side.
// The light sits at the camera: a face's brightness is ambient plus the rest times
// |cos| of the angle between its geometric normal and the view direction.
#pragma once

#include <array>
#include <optional>

#include "colour.h"
#include "image.h"
#include "io/meshread.h"

namespace view {

using Direction = std::array<double, 3>;

inline constexpr Direction defaultToCamera{0, 0, 1};
inline constexpr Rgb backgroundColour = plainBackground;
// Red outweighs green outweighs blue at every brightness, so no surface pixel can equal
// the blue-grey background.
inline constexpr Rgb surfaceColour{235, 220, 190};
inline constexpr double ambientShare = 0.2;
// Of the shorter image side, left free on each side of the fitted sphere.
inline constexpr double marginShare = 0.05;

// The fitted sphere's radius in pixels for a picture of this size.
double fittedRadius(int width, int height);

// False for a direction that is not finite or has zero length.
bool usableDirection(const Direction& toCamera);

// The sphere the camera is fitted to: by default the one around the mesh's bounding-box
// centre through its farthest point; a movie fixes one for all its frames.
struct Framing {
  std::array<double, 3> centre{0, 0, 0};
  double radius = 0;
};
Framing framingOf(const Mesh& mesh);

struct RenderStyle {
  ColourMode colour = ColourMode::plain;  // anything but plain needs the mesh's levels
  std::optional<Framing> framing;         // unset: fitted to this mesh
};

// A picture of the mesh. A mesh whose points all coincide, and faces of zero area, leave
// the background untouched. `toCamera` must be usable. Colours other than plain shade
// each pixel's colour from the levels interpolated across its face; a mesh without a
// level per point is drawn plain.
Image renderMesh(const Mesh& mesh, const Direction& toCamera, int width, int height, const RenderStyle& style = {});

// renderMesh, and the legend of a one-morphogen colour map with the mesh's threshold.
Image renderPicture(const Mesh& mesh, const Direction& toCamera, int width, int height, const RenderStyle& style = {});

}  // namespace view
