#!/usr/bin/python3
"""Writes the sample calculation table and template of the workspace's Count/
folder (the spreadsheet documents the main window's "Расчетные таблицы" and
"Шаблон" open), with the formulas users of the toolbox work with:

- scale factor: real distance / bench distance (the scaling window's factor);
- ground sample distance: distance x pixel pitch / principal distance;
- footprint size: frame width and height in pixels x ground sample distance;
- principal distance in pixels: principal distance / pixel pitch (the value of
  a camera file's fourth line).

Usage: make-count-tables.py FOLDER   (writes FOLDER/transform_parameters.xls
and FOLDER/transform_parameters.xlt)
"""
import os
import sys

import xlwt

HEADER = xlwt.easyxf("font: bold on; align: wrap on, vert centre")
INPUT = xlwt.easyxf("pattern: pattern solid, fore_colour light_yellow", num_format_str="0.000")
RESULT = xlwt.easyxf("font: bold on", num_format_str="0.000")
TEXT = xlwt.easyxf("align: wrap on")


def sheet_scaling(book, sample):
    sheet = book.add_sheet("Масштабирование")
    sheet.col(0).width = 256 * 44
    sheet.col(1).width = 256 * 16
    sheet.write(0, 0, "Масштаб перехода от стенда к реальной съёмке", HEADER)
    rows = [
        ("Расстояние на стенде, м", 4.25),
        ("Реальное расстояние, м", 500000),
    ]
    for i, (label, value) in enumerate(rows, start=2):
        sheet.write(i, 0, label, TEXT)
        sheet.write(i, 1, value if sample else "", INPUT)
    sheet.write(4, 0, "Масштабный коэффициент (реальное / стендовое)", TEXT)
    sheet.write(4, 1, xlwt.Formula('IF(B3=0,"",B4/B3)'), RESULT)
    sheet.write(5, 0, "Длина на стенде, м", TEXT)
    sheet.write(5, 1, 1.2 if sample else "", INPUT)
    sheet.write(6, 0, "Та же длина в реальной геометрии, м", TEXT)
    sheet.write(6, 1, xlwt.Formula("B6*B5"), RESULT)


def sheet_resolution(book, sample):
    sheet = book.add_sheet("Разрешение")
    sheet.col(0).width = 256 * 44
    sheet.col(1).width = 256 * 16
    sheet.write(0, 0, "Разрешение на местности и размер кадра", HEADER)
    rows = [
        ("Расстояние до снимаемой поверхности, м", 500000),
        ("Фокусное расстояние, мм", 1000),
        ("Размер пикселя приёмника, мкм", 7),
        ("Ширина кадра, пикс.", 2048),
        ("Высота кадра, пикс.", 1536),
    ]
    for i, (label, value) in enumerate(rows, start=2):
        sheet.write(i, 0, label, TEXT)
        sheet.write(i, 1, value if sample else "", INPUT)
    results = [
        ("Разрешение на местности (размер пикселя), м", 'IF(B4=0,"",B3*B5/B4/1000)'),
        ("Ширина полосы съёмки, м", 'IF(B8="","",B6*B8)'),
        ("Длина кадра на местности, м", 'IF(B8="","",B7*B8)'),
        ("Фокусное расстояние в пикселях (для cam-файла)", 'IF(B5=0,"",B4*1000/B5)'),
    ]
    for i, (label, formula) in enumerate(results, start=7):
        sheet.write(i, 0, label, TEXT)
        sheet.write(i, 1, xlwt.Formula(formula), RESULT)


def write(path, sample):
    book = xlwt.Workbook(encoding="utf-8")
    sheet_scaling(book, sample)
    sheet_resolution(book, sample)
    book.save(path)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    write(os.path.join(folder, "transform_parameters.xls"), sample=True)
    # The template: the same sheets with the inputs left empty.
    write(os.path.join(folder, "transform_parameters.xlt"), sample=False)


if __name__ == "__main__":
    main()
