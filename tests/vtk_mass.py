"""Area and volume of a 3DV or OBJ mesh by VTK's vtkMassProperties, the yardstick the
morphstats tests compare with. Prints 'area volume' with 17 significant digits.
usage: /usr/bin/python3 vtk_mass.py FILE  (exit 77 when VTK cannot be imported)"""
import sys

try:
    from vtkmodules.vtkCommonCore import vtkPoints
    from vtkmodules.vtkCommonDataModel import vtkCellArray, vtkPolyData
    from vtkmodules.vtkFiltersCore import vtkMassProperties
    from vtkmodules.vtkIOGeometry import vtkOBJReader
except ImportError as e:
    print("VTK cannot be imported: %s" % e, file=sys.stderr)
    sys.exit(77)


def read_3dv(path):
    # Counts, then two lines per point (position, normal), then two per triangle.
    lines = open(path).read().split("\n")
    points, faces = int(lines[0]), int(lines[1])
    pts = vtkPoints()  # single precision, as the file's readers keep positions
    for i in range(points):
        x, y, z = (float(w) for w in lines[2 + 2 * i].split()[:3])
        pts.InsertNextPoint(x, y, z)
    cells = vtkCellArray()
    first = 2 + 2 * points
    for t in range(faces):
        a, b, c = (int(w) for w in lines[first + 2 * t + 1].split()[:3])
        cells.InsertNextCell(3)
        for v in (a, b, c):
            cells.InsertCellPoint(v)
    mesh = vtkPolyData()
    mesh.SetPoints(pts)
    mesh.SetPolys(cells)
    return mesh


def main():
    path = sys.argv[1]
    if path.lower().endswith(".obj"):
        reader = vtkOBJReader()
        reader.SetFileName(path)
        reader.Update()
        mesh = reader.GetOutput()
    else:
        mesh = read_3dv(path)
    mass = vtkMassProperties()
    mass.SetInputData(mesh)
    mass.Update()
    print("%.17g %.17g" % (mass.GetSurfaceArea(), mass.GetVolume()))


main()
