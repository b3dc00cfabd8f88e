// Drawing a mesh into a picture: orthographic camera, z-buffer, smooth two-sided shading.
//
// The camera sits on the side of the mesh that `toCamera` points to and looks back along
// it at the centre of the framed points' bounding box. Image right and up are the
// projections of +x and +y chosen so that the default direction (0, 0, 1) shows +x to the
// right and +y up; when the direction lies within about 0.8 degrees of the y axis, up is -z
// when looking down from +y and +z when looking up from -y. The sphere around that centre
// through the farthest framed point fills the shorter image side less a margin on each
// side. The framed points are the body's (measure/extent.h): the points in its percentile
// box grown by bodyMargin; a few points flung far away would otherwise shrink the body
// below a pixel. `--frame all` frames every point, as pictures were first drawn.
// Shading: each point's normal is the area-weighted mean of its faces' normals,
// interpolated across a face and turned towards the camera; a pixel's brightness is
// ambient plus the rest times the cosine between that normal and a light above, left of
// and in front of the camera (0 when turned away from it).
#pragma once

#include <array>
#include <optional>
#include <string>

#include "colour.h"
#include "image.h"
#include "io/meshread.h"
#include "measure/extent.h"

namespace view {

using Direction = std::array<double, 3>;

inline constexpr Direction defaultToCamera{0, 0, 1};
inline constexpr Rgb backgroundColour = plainBackground;
// Red outweighs green outweighs blue at every brightness, so no surface pixel can equal
// the blue-grey background.
inline constexpr Rgb surfaceColour{235, 220, 190};
inline constexpr double ambientShare = 0.25;
// Of the shorter image side, left free on each side of the fitted sphere.
inline constexpr double marginShare = 0.05;
// The body's box is grown by this share of its longest side on every side before framing.
inline constexpr double bodyMargin = 0.1;
// The light, in the camera's right, up and towards-camera axes (not normalised).
inline constexpr std::array<double, 3> lightFromCamera{-0.3, 0.4, 0.87};

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
// Around every point.
Framing framingOf(const Mesh& mesh);
// Around the body's points; `far` (when given) gets the points left out far away, and
// `body` the body's box.
Framing bodyFraming(const stats::Points& points, stats::FarPoints* far = nullptr, stats::BodyBox* body = nullptr);

// The warning for points framed out, "<file>: warning: ..." (no program name), or empty
// when there are none.
std::string farWarning(const std::string& file, const stats::FarPoints& far, const stats::BodyBox& body);

struct RenderStyle {
  ColourMode colour = ColourMode::plain;  // anything but plain needs the mesh's levels
  std::optional<Framing> framing;         // unset: fitted to this mesh
  bool frameAll = false;                  // unset framing: around every point, not the body's
  bool scaleBar = false;                  // renderPicture: a bar of a round length in model units
  std::string title;                      // renderPicture: drawn along the top, when not empty
};

// The model units per pixel of a picture of this size drawn with this framing.
double unitsPerPixel(const Framing& framing, int width, int height);
// The round length (1, 2 or 5 times a power of ten) a scale bar shows for this many model
// units per pixel: the largest not longer than `share` of the picture's width.
double scaleBarLength(double unitsPerPixel, int width, double share = 0.25);
// A number in at most four significant digits ("0.5", "1e+04").
std::string shortNumber(double value);

// A picture's title: the file's name (after the last '/'), its seed and its cycle where known.
std::string pictureTitle(const std::string& file, const std::optional<long long>& seed,
                         const std::optional<long long>& cycle);
// Draws `title` along the top left of the picture; a title too wide shows its tail after "...".
void drawTitle(Image& image, const std::string& title);

// A picture of the mesh. A mesh whose points all coincide, and faces of zero area, leave
// the background untouched. `toCamera` must be usable. Colours other than plain shade
// each pixel's colour from the levels interpolated across its face; a mesh without a
// level per point is drawn plain.
Image renderMesh(const Mesh& mesh, const Direction& toCamera, int width, int height, const RenderStyle& style = {});

// renderMesh, and the legend of a one-morphogen colour map with the mesh's threshold, the
// title and the scale bar that the style asks for.
Image renderPicture(const Mesh& mesh, const Direction& toCamera, int width, int height, const RenderStyle& style = {});

}  // namespace view
