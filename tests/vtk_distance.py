"""Distances between two OBJ surfaces by VTK's vtkDistancePolyDataFilter (unsigned, both
ways), the yardstick of morphstats --compare --register none. Prints 'hausdorff mean rms'
with 17 significant digits, over every vertex of both surfaces together.
usage: /usr/bin/python3 vtk_distance.py A.obj B.obj  (exit 77 when VTK cannot be imported)"""
import math
import sys

try:
    from vtkmodules.vtkFiltersGeneral import vtkDistancePolyDataFilter
    from vtkmodules.vtkIOGeometry import vtkOBJReader
except ImportError as e:
    print("VTK cannot be imported: %s" % e, file=sys.stderr)
    sys.exit(77)


def read(path):
    reader = vtkOBJReader()
    reader.SetFileName(path)
    reader.Update()
    return reader.GetOutput()


def main():
    distance = vtkDistancePolyDataFilter()
    distance.SetInputData(0, read(sys.argv[1]))
    distance.SetInputData(1, read(sys.argv[2]))
    distance.SignedDistanceOff()
    distance.ComputeSecondDistanceOn()
    distance.Update()
    values = []
    for output in (distance.GetOutput(), distance.GetSecondDistanceOutput()):
        array = output.GetPointData().GetArray("Distance")
        values += [array.GetValue(k) for k in range(array.GetNumberOfTuples())]
    mean = sum(values) / len(values)
    rms = math.sqrt(sum(v * v for v in values) / len(values))
    print("%.17g %.17g %.17g" % (max(values), mean, rms))


main()
