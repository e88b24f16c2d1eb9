#!/usr/bin/env python3
"""Checks that the folders of src/ include one another only downward.

app/ and cli/ stand at the top; below them the task folders (their windows,
the *_form files, over their headless cores); below those shell/, the frame
the windows share; geometry/ and platform/ at the bottom. The field-of-view
task stands on cores of its own: scene/ (list, projection, strip), then
footprints/ (figures and exports), then relief/. A task folder's
core (every file but its *_form files) includes no widgets: not shell/.
Prints each include that runs the wrong way and exits 1 if there is any.
"""
import pathlib
import re
import sys

TASKS = {"fov", "scaling", "resampling", "cut", "colour"}
# The field-of-view task's cores, lowest first: each may include those before it.
FOV_CORES = ["scene", "footprints", "relief"]
ALLOWED = {
    "platform": set(),
    "geometry": {"platform"},
    "shell": {"platform"},
    "app": {"platform", "geometry", "shell"} | TASKS | set(FOV_CORES),
    "cli": {"platform", "geometry"} | TASKS | set(FOV_CORES),
}
for task in TASKS:
    ALLOWED[task] = {"platform", "geometry", "shell"}
for i, core in enumerate(FOV_CORES):
    ALLOWED[core] = {"platform", "geometry"} | set(FOV_CORES[:i])
ALLOWED["fov"] |= set(FOV_CORES)

INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/', re.MULTILINE)


def main(src: pathlib.Path) -> int:
    wrong = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cc"):
            continue
        folder = path.relative_to(src).parts[0]
        allowed = set(ALLOWED.get(folder, set()))
        if folder in TASKS and not path.stem.endswith("_form"):
            allowed.discard("shell")
        for target in INCLUDE.findall(path.read_text(encoding="utf-8")):
            if target != folder and target not in allowed:
                wrong.append(f"{path.relative_to(src)} includes {target}/")
    for line in wrong:
        print(line)
    print(f"{len(wrong)} includes run the wrong way")
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1])))
