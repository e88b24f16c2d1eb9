#!/usr/bin/env python3
"""Writes the field-of-view sample scene in samples/fov.

Six frames of a bench survey of a terrain model: five along the track that
the field-of-view drawing chains into one strip, and a sixth, side-looking
frame of a second camera at its own position. Every image geometry file
describes its rotation three times (bench angles, photogrammetric angles and
the matrix), all derived here from the bench angles, so the three
orientation systems draw the same scene.

A height map of the model (relief.asc, an ESRI ASCII grid in metres, X and
Y of the scene, Y upward) puts a rounded hill beside the middle of the strip
and a ridge across the side-looking frame, which hides the ground behind it.

Files are written as the system writes text: Windows-1251, CR LF.
Run from the repository root: python3 scripts/make-fov-samples.py
"""

import math
import os

OUT = os.path.join("samples", "fov")


def matmul(a, b):
    return [[sum(a[i][k] * b[k][j] for k in range(3)) for j in range(3)] for i in range(3)]


def rx(t):
    return [[1, 0, 0], [0, math.cos(t), -math.sin(t)], [0, math.sin(t), math.cos(t)]]


def ry(t):
    return [[math.cos(t), 0, math.sin(t)], [0, 1, 0], [-math.sin(t), 0, math.cos(t)]]


def rz(t):
    return [[math.cos(t), -math.sin(t), 0], [math.sin(t), math.cos(t), 0], [0, 0, 1]]


def write_text(name, lines):
    with open(os.path.join(OUT, name), "wb") as f:
        for line in lines:
            f.write(line.encode("cp1251") + b"\r\n")


def fmt(value, decimals):
    text = f"{value:.{decimals}f}"
    return "0." + "0" * decimals if text == "-0." + "0" * decimals else text


def geometry_file(name, title, aim_x, aim_y, distance, alpha, beta, gamma):
    """alpha about Y, beta about X, gamma about Z, degrees; R = Rz Ry Rx."""
    a, b, g = (math.radians(v) for v in (alpha, beta, gamma))
    r = matmul(matmul(rz(g), ry(a)), rx(b))
    # Photogrammetric angles of the same matrix: row 3 is
    # (-sin phi cos omega, -sin omega, cos phi cos omega), column 2 of rows
    # 1 and 2 is cos omega (sin kappa, cos kappa).
    omega = -math.asin(r[2][1])
    phi = math.atan2(-r[2][0], r[2][2])
    kappa = math.atan2(r[0][1], r[1][1])
    # The projection centre lies at the distance from the aiming point along
    # the third row of the matrix.
    centre = [aim_x + distance * r[2][0], aim_y + distance * r[2][1], distance * r[2][2]]
    lines = [
        f"{fmt(centre[0], 4)} ; Координата X центра проекции в системе координат сцены (м)",
        f"{fmt(centre[1], 4)} ; Координата Y центра проекции в системе координат сцены (м)",
        f"{fmt(centre[2], 4)} ; Координата Z центра проекции в системе координат сцены (м)",
        f"{fmt(aim_x, 4)} ; Координата X точки визирования в системе координат сцены (м)",
        f"{fmt(aim_y, 4)} ; Координата Y точки визирования в системе координат сцены (м)",
        f"{fmt(distance, 4)} ; Расстояние от центра проекции до точки визирования (м)",
        f"{fmt(math.degrees(phi), 12)} ; Угол фи фотограмметрической системы (град)",
        f"{fmt(math.degrees(omega), 12)} ; Угол омега фотограмметрической системы (град)",
        f"{fmt(math.degrees(kappa), 12)} ; Угол каппа фотограмметрической системы (град)",
        f"{fmt(alpha, 4)} ; Стендовая система: поворот вокруг оси Y (град)",
        f"{fmt(beta, 4)} ; Стендовая система: поворот вокруг оси X (град)",
        f"{fmt(gamma, 4)} ; Стендовая система: поворот вокруг оси Z (град)",
    ]
    for column in range(3):
        for row in range(3):
            lines.append(f"{fmt(r[row][column], 15)} ; Матрица поворота: строка {row + 1}, столбец {column + 1}")
    lines.append(f"// {title}")
    write_text(name, lines)


def camera_file(name, companion, title, x0, y0, focal, width, height):
    write_text(os.path.join("cameras", name), [
        f"{x0} ; Столбец главной точки (пикс.)",
        f"{y0} ; Строка главной точки (пикс.)",
        f"{companion} ; Файл масштаба строк",
        f"{focal} ; Фокусное расстояние (пикс.)",
        f"{width} ; Ширина кадра (пикс.)",
        f"{height} ; Высота кадра (пикс.)",
        f"// {title}",
    ])


# name, title, aim X, aim Y, distance, about Y, about X, about Z, camera
FRAMES = [
    ("frame1.ort", "Кадр 1: надир, середина маршрута", 0.0, 0.0, 4.25, 0.0, 0.0, 90.0, "a"),
    ("frame2.ort", "Кадр 2: наклон вперёд по трассе 6°", 0.8, 0.02, 4.25, 6.0, 1.0, 90.0, "a"),
    ("frame3.ort", "Кадр 3: наклон вперёд по трассе 12°", 1.6, 0.0, 4.3, 12.0, 0.5, 91.0, "a"),
    ("frame4.ort", "Кадр 4: наклон назад по трассе 6°", -0.8, -0.01, 4.25, -6.0, -1.0, 89.0, "a"),
    ("frame5.ort", "Кадр 5: наклон назад по трассе 12°", -1.6, 0.0, 4.3, -12.0, 0.0, 90.0, "a"),
    ("frame6.ort", "Кадр 6: боковой обзор камерой Б", 0.4, 1.3, 4.4, 3.0, -15.0, 90.0, "b"),
]

CAMERAS = {
    "a": ("camera_a.cam", "camera_a_rows.txt", "Камера А: узкоугольная", 1024, 768, 8200, 2048, 1536),
    "b": ("camera_b.cam", "camera_b_rows.txt", "Камера Б: широкоугольная", 812, 590, 5400, 1600, 1200),
}


# The height map: cells of 2.5 cm over X -2.2 to 2.6 and Y -0.8 to 2.4.
RELIEF_CELL = 0.025
RELIEF_ORIGIN = (-2.2, -0.8)
RELIEF_SIZE = (192, 128)


def relief_height(x, y):
    hill = 0.30 * math.exp(-((x - 0.30) ** 2 + (y + 0.25) ** 2) / (2 * 0.10 ** 2))
    ridge = 0.35 * math.exp(-((y - 1.00) ** 2) / (2 * 0.04 ** 2)) * math.exp(-((x - 0.40) ** 2) / (2 * 0.60 ** 2))
    return hill + ridge


def relief_file(name):
    columns, rows = RELIEF_SIZE
    lines = [
        f"ncols {columns}",
        f"nrows {rows}",
        f"xllcorner {RELIEF_ORIGIN[0]}",
        f"yllcorner {RELIEF_ORIGIN[1]}",
        f"cellsize {RELIEF_CELL}",
        "NODATA_value -9999",
    ]
    # The first row of the grid is the top one: the greatest Y.
    for row in range(rows):
        y = RELIEF_ORIGIN[1] + (rows - row - 0.5) * RELIEF_CELL
        values = (relief_height(RELIEF_ORIGIN[0] + (c + 0.5) * RELIEF_CELL, y) for c in range(columns))
        lines.append(" ".join(fmt(v, 3) for v in values))
    write_text(name, lines)


def main():
    os.makedirs(os.path.join(OUT, "cameras"), exist_ok=True)
    for name, title, ax, ay, d, alpha, beta, gamma, _ in FRAMES:
        geometry_file(name, title, ax, ay, d, alpha, beta, gamma)
    for key, (name, companion, title, x0, y0, f, w, h) in CAMERAS.items():
        camera_file(name, companion, title, x0, y0, f, w, h)
        write_text(os.path.join("cameras", companion), ["1", "Масштаб строк: первая строка файла, остальное не читается"])

    pairs = [(name, "cameras\\" + CAMERAS[cam][0], title) for name, title, *_, cam in FRAMES]
    # The pair form: comments at the head, then one pair per frame.
    lines = [
        "// Стендовая съёмка макета рельефа: маршрут из пяти кадров и боковой кадр",
        "// Пары строк: файл геометрии изображения; cam-файл",
    ]
    for geometry, camera, _ in pairs:
        lines += [f"{geometry} ; файл геометрии изображения", f"{camera} ; cam-файл"]
    lines.append("// конец списка")
    write_text("scene.lst", lines)
    # The block form: a comment line before every pair.
    lines = []
    for geometry, camera, title in pairs:
        lines += [f"// {title}", f"{geometry} ; файл геометрии изображения", f"{camera} ; cam-файл"]
    write_text("scene_blocks.lst", lines)
    relief_file("relief.asc")


if __name__ == "__main__":
    main()
