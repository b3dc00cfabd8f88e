// The report page's parts, compiled into morphview from morphview/report/ and three.js's
// npm package (see package.json) by embed.cmake.
#pragma once

#include <string_view>

namespace view::assets {

extern const std::string_view three;     // three.js as one ES module; empty when the build had none
extern const std::string_view viewerJs;  // the page's script, an ES module importing "three"
extern const std::string_view viewerCss;
extern const std::string_view pageHtml;  // the page around them, with @-markers for the parts

}  // namespace view::assets
