# Writes one mesh with VTK's own PolyData writer in each of its modes, plus the expected
# content as plain text, so that morphview's reader is checked against the real thing:
#   /usr/bin/python3 vtk_write_modes.py OUTDIR
# Also writes a small series (series.pvd) of growing snapshots for the movie tests.
import os
import sys

import vtk
from vtk.util import numpy_support as ns
import numpy as np

out = sys.argv[1]
os.makedirs(out, exist_ok=True)


def mesh(radius, cycle, double=False):
    src = vtk.vtkSphereSource()
    src.SetThetaResolution(12)
    src.SetPhiResolution(9)
    src.SetRadius(radius)
    src.SetCenter(0.25, -0.5, 1.0)
    src.Update()
    poly = vtk.vtkPolyData()
    poly.DeepCopy(src.GetOutput())
    poly.GetPointData().Initialize()
    n = poly.GetNumberOfPoints()
    if double:
        pts = vtk.vtkPoints()
        pts.SetDataTypeToDouble()
        pts.DeepCopy(poly.GetPoints())
        poly.SetPoints(pts)
    idx = np.arange(n)
    for name, values in (("red", (idx * 37 + cycle) % 256), ("green", (idx * 11) % 256), ("blue", 255 - idx % 256)):
        arr = ns.numpy_to_vtk(values.astype(np.uint8), deep=True, array_type=vtk.VTK_UNSIGNED_CHAR)
        arr.SetName(name)
        poly.GetPointData().AddArray(arr)
    thr = vtk.vtkIntArray()
    thr.SetName("threshold")
    thr.SetNumberOfComponents(3)
    thr.InsertNextTuple3(120, 7, 255)
    cyc = vtk.vtkIntArray()
    cyc.SetName("cycle")
    cyc.InsertNextValue(cycle)
    prog = vtk.vtkStringArray()
    prog.SetName("program")
    prog.InsertNextValue("morphseed")
    for a in (prog, cyc, thr):
        poly.GetFieldData().AddArray(a)
    return poly


def reference(poly, path, cycle):
    with open(path, "w") as f:
        pts = poly.GetPoints()
        f.write("points %d\n" % poly.GetNumberOfPoints())
        for i in range(poly.GetNumberOfPoints()):
            p = np.array(pts.GetPoint(i), dtype=np.float32)
            f.write("%.9g %.9g %.9g\n" % tuple(float(c) for c in p))
        tris = []
        ids = vtk.vtkIdList()
        polys = poly.GetPolys()
        polys.InitTraversal()
        while polys.GetNextCell(ids):
            c = [ids.GetId(k) for k in range(ids.GetNumberOfIds())]
            tris += [(c[0], c[k], c[k + 1]) for k in range(1, len(c) - 1)]
        f.write("faces %d\n" % len(tris))
        for t in tris:
            f.write("%d %d %d\n" % t)
        pd = poly.GetPointData()
        if pd.GetArray("red"):
            f.write("levels\n")
            for i in range(poly.GetNumberOfPoints()):
                f.write("%d %d %d\n" % tuple(int(pd.GetArray(c).GetValue(i)) for c in ("red", "green", "blue")))
            f.write("threshold 120 7 255\ncycle %d\n" % cycle)


def write(poly, name, mode, compress, header64, base64=False, ids32=False, block=None):
    w = vtk.vtkXMLPolyDataWriter()
    w.SetInputData(poly)
    w.SetFileName(os.path.join(out, name))
    {"ascii": w.SetDataModeToAscii, "binary": w.SetDataModeToBinary, "appended": w.SetDataModeToAppended}[mode]()
    if mode == "appended":
        w.SetEncodeAppendedData(base64)
    if compress:
        w.SetCompressorTypeToZLib()
    else:
        w.SetCompressorTypeToNone()
    if header64:
        w.SetHeaderTypeToUInt64()
    else:
        w.SetHeaderTypeToUInt32()
    if ids32:
        w.SetIdTypeToInt32()
    if block:
        w.SetBlockSize(block)
    assert w.Write() == 1, name


m = mesh(1.5, 40)
reference(m, os.path.join(out, "sphere.expected"), 40)
write(m, "appended-raw-zlib-u64.vtp", "appended", True, True)
write(m, "appended-raw-plain-u32.vtp", "appended", False, False)
write(m, "appended-b64-zlib-u32.vtp", "appended", True, False, base64=True, block=256)
write(m, "appended-b64-plain-u64.vtp", "appended", False, True, base64=True)
write(m, "binary-zlib-u64-blocks.vtp", "binary", True, True, block=96)
write(m, "binary-plain-u32.vtp", "binary", False, False)
write(m, "ascii.vtp", "ascii", False, True)
write(m, "appended-raw-zlib-u32-id32.vtp", "appended", True, False, ids32=True, block=64)
d = mesh(1.5, 40, double=True)
write(d, "float64-binary-zlib.vtp", "binary", True, True, ids32=True)

# Quadrilaterals, which the reader fans into triangles, and a file with no levels.
cube = vtk.vtkCubeSource()
cube.Update()
quads = vtk.vtkPolyData()
quads.SetPoints(cube.GetOutput().GetPoints())
quads.SetPolys(cube.GetOutput().GetPolys())
reference(quads, os.path.join(out, "cube.expected"), 0)
write(quads, "cube-quads.vtp", "appended", True, True)

# A series of five snapshots growing from radius 1 to 3.
os.makedirs(os.path.join(out, "snap"), exist_ok=True)
with open(os.path.join(out, "series.pvd"), "w") as f:
    f.write('<?xml version="1.0"?>\n<VTKFile type="Collection" version="0.1" byte_order="LittleEndian">\n  <Collection>\n')
    for k, cycle in enumerate((0, 5, 10, 15, 17)):
        name = "embryo.7.c%d.vtp" % cycle
        write(mesh(1.0 + 0.5 * k, cycle), "snap/" + name, "appended", True, True)
        f.write('    <DataSet timestep="%d" group="" part="0" file="snap/%s"/>\n' % (cycle, name))
    f.write("  </Collection>\n</VTKFile>\n")
