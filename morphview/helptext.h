// morphview --help: every mode and option in one text. The refusals keep their shorter
// usage of the mode that was refused.
#pragma once

namespace view {

inline constexpr const char* helpText =
    "usage: morphview [--view X,Y,Z] [--size WxH] [--format 3dv|template|obj|vtp] [--colour C]\n"
    "                 [--frame body|all] [--scale-bar] -o OUT.png FILE\n"
    "       morphview --sheet [--view X,Y,Z] [--tile S] [--columns N] [--format 3dv|template|obj|vtp]\n"
    "                 [--colour C] [--mark-bad] -o OUT.png FILE...\n"
    "       morphview --sheet [--view X,Y,Z] [--tile S] [--colour C] [--mark-bad] -o OUT.png --manifest MANIFEST\n"
    "       morphview --movie OUT.mp4 [--view X,Y,Z] [--size WxH] [--fps N] [--colour C] SERIES.pvd|SNAPSHOT...\n"
    "       morphview --html OUT.html [--format 3dv|template|obj] [--mark-bad] [--title T] FILE...\n"
    "       morphview --html OUT.html [--format F] [--title T] --series FILE...|SERIES.pvd\n"
    "       morphview --html OUT.html [--title T] --manifest MANIFEST [--definition DEF]\n"
    "       morphview --help | --version\n"
    "\n"
    "Draws 3DV, template, OBJ and snapshot (.vtp) files as PNG pictures or contact sheets,\n"
    "a series as a movie (ffmpeg), or any of them as one self-contained 3D HTML report.\n"
    "  -o OUT.png        the picture or sheet (replaced only when complete)\n"
    "  --view X,Y,Z      side the camera looks from, towards the mesh (default 0,0,1: +x right, +y up)\n"
    "  --size WxH        picture or movie size in pixels (default 512x512)\n"
    "  --format F        read every file as F (3dv, template, obj, vtp) instead of choosing by its name\n"
    "  --colour C        plain (default), red, green or blue (one morphogen, with a legend), or rgb\n"
    "  --sheet           one labelled tile per file, in a grid\n"
    "  --manifest M      the results of a sweep manifest, in grids by the swept parameters, each tile\n"
    "                    labelled with its values (run from the folder the manifest was run in)\n"
    "  --tile S          tile side in pixels (default 256)\n"
    "  --columns N       tiles per row (default: as square a grid as possible)\n"
    "  --mark-bad        draw an unreadable file as a crossed-out tile instead of refusing\n"
    "  --movie OUT       encode every snapshot of the series with ffmpeg, one fixed camera, by cycle\n"
    "  --fps N           movie frames per second (default 10)\n"
    "  --frame F         (pictures, sheets, movies) body (default): frame the body by the box of\n"
    "                    its vertices' 0.5-99.5 percentiles, warning of vertices far outside it;\n"
    "                    all: frame every vertex\n"
    "  --scale-bar       (pictures, sheets, movies) a bar of a round length in model units\n"
    "  --html OUT.html   one offline page: a mesh to turn, a grid of them, a series with a slider,\n"
    "                    or a sweep with its table of measures and a heat map\n"
    "  --series          (--html) the files are snapshots of one embryo, in any order, shown by cycle\n"
    "  --definition DEF  (--html --manifest) the sweep's definition: its first comment is the title\n"
    "  --title T         (--html) the page's title\n"
    "  --help            this text\n"
    "  --version         the release and the commit built\n"
    "  --                every word after it is a file, even one beginning with '-'\n"
    "\n"
    "Example: a snapshot coloured by its red morphogen, then a sweep's report:\n"
    "  morphview --colour red -o embryo-red.png embryo.1700000001.c10.vtp\n"
    "  morphview --html day/report.html --manifest day/manifest --definition day/sweep.def\n"
    "\n"
    "Exit status: 0 written; 1 command line refused; 2 an input is missing or malformed, or\n"
    "the output cannot be written (ffmpeg missing or failed); 3 out of memory.\n";

}  // namespace view
