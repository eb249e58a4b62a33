# Renders a Lucentor scene file of quads and boxes (scenes/cornell.toml) with Blender's Cycles,
# for bench/cornell.sh: the geometry, camera, albedos, emission, sky and maximum depth are read
# from the same file, so the two renderers cannot drift apart. Run by Blender:
#
#   blender -b --factory-startup --python bench/cornell_cycles.py -- SCENE.toml \
#       [--samples N] [--threads T] [--size WxH] [--output PICTURE.pfm]
#
# Cycles renders on the CPU with no denoising, no adaptive sampling, no clamping and no path
# guiding, a box filter one pixel wide (Lucentor's jittered pixel), and max_depth - 1 bounces:
# Lucentor's max_depth counts the surfaces a path meets, Cycles' bounces those after the first.
# The rate excludes everything but the samples: the scene is rendered at 1 sample and at N
# samples, and the rate is (N - 1) * pixels / (time(N) - time(1)), in wall time and in
# processor time (every thread's, which on a machine shared with other work is the steadier
# measure of samples a second a core). The last line printed is
#   cycles-rate SAMPLES_PER_SECOND SAMPLES_PER_PROCESSOR_SECOND THREADS
import argparse
import math
import struct
import sys
import time
import tomllib

import bpy


def arguments():
    argv = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
    parser = argparse.ArgumentParser(prog="cornell_cycles.py")
    parser.add_argument("scene")
    parser.add_argument("--samples", type=int, default=64)
    parser.add_argument("--threads", type=int, default=1)
    parser.add_argument("--size", default="640x480")
    parser.add_argument("--output", help="write the N-sample picture as PFM (linear RGB)")
    return parser.parse_args(argv)


def refuse(what):
    sys.exit("cornell_cycles.py: " + what)


# Keys of the scene file this script knows; anything else would render differently in Cycles.
KNOWN = {"integrator", "max_depth", "background", "camera", "quad", "box", "planes"}
SHAPE_KEYS = {"corner", "side_a", "side_b", "min", "max", "rotate", "color", "emission"}


def rotation(degrees):
    # About x, then y, then z, each counter-clockwise seen from the axis' positive end: the
    # scene file's rule (and Blender's XYZ Euler).
    def about(axis, angle):
        c, s = math.cos(math.radians(angle)), math.sin(math.radians(angle))
        if axis == 0:
            return [[1, 0, 0], [0, c, -s], [0, s, c]]
        if axis == 1:
            return [[c, 0, s], [0, 1, 0], [-s, 0, c]]
        return [[c, -s, 0], [s, c, 0], [0, 0, 1]]

    def times(a, b):
        return [[sum(a[i][k] * b[k][j] for k in range(3)) for j in range(3)] for i in range(3)]

    return times(about(2, degrees[2]), times(about(1, degrees[1]), about(0, degrees[0])))


def applied(matrix, v):
    return [sum(matrix[i][k] * v[k] for k in range(3)) for i in range(3)]


def quadMesh(table):
    c, a, b = table["corner"], table["side_a"], table["side_b"]
    corners = [c, [c[i] + a[i] for i in range(3)], [c[i] + a[i] + b[i] for i in range(3)],
               [c[i] + b[i] for i in range(3)]]
    # Wound so that Blender's normal is side_a x side_b, the quad's front.
    return corners, [(0, 1, 2, 3)]


def boxMesh(table):
    lo, hi = table["min"], table["max"]
    centre = [(lo[i] + hi[i]) / 2 for i in range(3)]
    turn = rotation(table.get("rotate", [0, 0, 0]))
    corners = []
    for i in range(8):
        local = [(hi if i >> axis & 1 else lo)[axis] - centre[axis] for axis in range(3)]
        corners.append([p + q for p, q in zip(applied(turn, local), centre)])
    # Corner i has x from bit 0, y from bit 1, z from bit 2; each face wound outwards.
    faces = [(0, 4, 6, 2), (1, 3, 7, 5), (0, 1, 5, 4), (2, 6, 7, 3), (0, 2, 3, 1), (4, 5, 7, 6)]
    return corners, faces


def material(name, color, emission):
    made = bpy.data.materials.new(name)
    made.use_nodes = True
    nodes, links = made.node_tree.nodes, made.node_tree.links
    nodes.clear()
    out = nodes.new("ShaderNodeOutputMaterial")
    diffuse = nodes.new("ShaderNodeBsdfDiffuse")
    diffuse.inputs["Color"].default_value = (*color, 1.0)
    diffuse.inputs["Roughness"].default_value = 0.0  # Lambert
    if emission is None or max(emission) == 0:
        links.new(diffuse.outputs["BSDF"], out.inputs["Surface"])
        return made
    # Radiance `emission` from the front only, as Lucentor's surfaces emit; the back is black.
    glow = nodes.new("ShaderNodeEmission")
    glow.inputs["Color"].default_value = (*emission, 1.0)
    glow.inputs["Strength"].default_value = 1.0
    black = nodes.new("ShaderNodeEmission")
    black.inputs["Strength"].default_value = 0.0
    side = nodes.new("ShaderNodeNewGeometry")
    front = nodes.new("ShaderNodeMixShader")
    links.new(side.outputs["Backfacing"], front.inputs["Fac"])
    links.new(glow.outputs["Emission"], front.inputs[1])
    links.new(black.outputs["Emission"], front.inputs[2])
    both = nodes.new("ShaderNodeAddShader")
    links.new(diffuse.outputs["BSDF"], both.inputs[0])
    links.new(front.outputs["Shader"], both.inputs[1])
    links.new(both.outputs["Shader"], out.inputs["Surface"])
    return made


def addShape(scene, name, corners, faces, table):
    mesh = bpy.data.meshes.new(name)
    mesh.from_pydata(corners, [], faces)
    mesh.update()
    shape = bpy.data.objects.new(name, mesh)
    shape.data.materials.append(material(name, table.get("color", [0.8, 0.8, 0.8]),
                                         table.get("emission")))
    scene.collection.objects.link(shape)


def addCamera(scene, pose, width, height):
    position, target = pose["position"], pose["look_at"]
    up = pose.get("up", [0, 1, 0])
    forward = [t - p for t, p in zip(target, position)]

    def unit(v):
        length = math.sqrt(sum(x * x for x in v))
        return [x / length for x in v]

    def cross(a, b):
        return [a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]]

    forward = unit(forward)
    right = unit(cross(forward, up))
    upward = cross(right, forward)
    data = bpy.data.cameras.new("camera")
    data.sensor_fit = "VERTICAL"  # 'fov' is the vertical field of view
    data.angle_y = math.radians(pose.get("fov", 53.1301024))
    camera = bpy.data.objects.new("camera", data)
    # A Blender camera looks along its -z with +y up.
    from mathutils import Matrix
    camera.matrix_world = Matrix([[right[i], upward[i], -forward[i], position[i]]
                                  for i in range(3)] + [[0, 0, 0, 1]])
    scene.collection.objects.link(camera)
    scene.camera = camera


def setUp(scene, file, samples, threads, width, height):
    for key in file:
        if key not in KNOWN:
            refuse(f"'{key}' is not a key this script builds in Cycles")
    if file.get("integrator") != "path":
        refuse("the scene must use integrator = \"path\": Cycles computes light that bounces")
    if "camera" not in file or file["camera"].get("mirrored", False):
        refuse("the scene needs a [camera], not mirrored")
    for kind in ("quad", "box"):
        for table in file.get(kind, []):
            for key in table:
                if key not in SHAPE_KEYS:
                    refuse(f"'{key}' in a {kind} is not built in Cycles")
    for i, table in enumerate(file.get("quad", [])):
        addShape(scene, f"quad{i}", *quadMesh(table), table)
    for i, table in enumerate(file.get("box", [])):
        addShape(scene, f"box{i}", *boxMesh(table), table)
    addCamera(scene, file["camera"], width, height)

    world = bpy.data.worlds.new("sky")
    world.use_nodes = True
    world.node_tree.nodes["Background"].inputs["Color"].default_value = (
        *file.get("background", [0, 0, 0]), 1.0)
    world.node_tree.nodes["Background"].inputs["Strength"].default_value = 1.0
    scene.world = world

    scene.render.engine = "CYCLES"
    scene.render.resolution_x, scene.render.resolution_y = width, height
    scene.render.resolution_percentage = 100
    scene.render.threads_mode = "FIXED"
    scene.render.threads = threads
    scene.render.image_settings.file_format = "OPEN_EXR"
    scene.render.image_settings.color_depth = "32"
    scene.view_settings.view_transform = "Standard"
    scene.view_settings.look = "None"
    cycles = scene.cycles
    cycles.device = "CPU"
    cycles.samples = samples
    cycles.use_adaptive_sampling = False
    cycles.use_denoising = False
    cycles.use_guiding = False
    cycles.sample_clamp_direct = 0.0
    cycles.sample_clamp_indirect = 0.0
    cycles.pixel_filter_type = "BOX"
    cycles.filter_width = 1.0
    cycles.seed = 0
    bounces = file.get("max_depth", 8) - 1
    cycles.max_bounces = bounces
    cycles.diffuse_bounces = bounces
    cycles.glossy_bounces = bounces
    cycles.transmission_bounces = bounces
    cycles.transparent_max_bounces = bounces
    cycles.volume_bounces = 0
    return bounces


def timedRender(scene, samples):
    scene.cycles.samples = samples
    start, processor = time.perf_counter(), time.process_time()
    bpy.ops.render.render(write_still=False)
    return time.perf_counter() - start, time.process_time() - processor


def writePfm(scene, path):
    exr = path + ".exr"
    bpy.data.images["Render Result"].save_render(filepath=exr, scene=scene)
    image = bpy.data.images.load(exr)
    width, height = image.size
    pixels = list(image.pixels)  # RGBA rows from the bottom, as PFM stores them
    with open(path, "wb") as out:
        out.write(f"PF\n{width} {height}\n-1.0\n".encode())
        rgb = [pixels[i + c] for i in range(0, len(pixels), 4) for c in range(3)]
        out.write(struct.pack(f"<{len(rgb)}f", *rgb))
    import os
    os.remove(exr)


def main():
    args = arguments()
    width, height = (int(n) for n in args.size.split("x"))
    with open(args.scene, "rb") as source:
        file = tomllib.load(source)
    bpy.ops.wm.read_factory_settings(use_empty=True)
    scene = bpy.context.scene
    bounces = setUp(scene, file, args.samples, args.threads, width, height)
    timedRender(scene, 1)  # loads and builds everything once
    one = timedRender(scene, 1)
    many = timedRender(scene, args.samples)
    if args.output:
        writePfm(scene, args.output)
    work = (args.samples - 1) * width * height
    rate, perCore = work / (many[0] - one[0]), work / (many[1] - one[1])
    print(f"cycles: {width}x{height}, {args.samples} samples, {bounces} bounces, "
          f"{args.threads} threads: {many[0]:.3f} s ({one[0]:.3f} s at 1 sample), "
          f"{rate / 1e6:.3f} M samples/s, {perCore / 1e6:.3f} M samples a processor second")
    print(f"cycles-rate {rate:.0f} {perCore:.0f} {args.threads}")


main()
