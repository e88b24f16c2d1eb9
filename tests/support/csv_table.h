#pragma once
// A CSV text read by its header, so that tests ask for a field by its
// column's name rather than its position.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <vector>

namespace skarvel::testing {

class CsvTable {
 public:
  // Rows ended by CR LF (the last one too), fields separated by ",", a field
  // in '"' holding separators, line ends and doubled '"'.
  explicit CsvTable(const QByteArray& bytes) {
    const QString text = QString::fromUtf8(bytes);
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
      const QChar c = text[i];
      if (quoted) {
        if (c != u'"')
          field += c;
        else if (i + 1 < text.size() && text[i + 1] == u'"')
          field += text[++i];
        else
          quoted = false;
      } else if (c == u'"') {
        quoted = true;
      } else if (c == u',') {
        row.append(field);
        field.clear();
      } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
        ++i;
        row.append(field);
        field.clear();
        rows_.push_back(row);
        row.clear();
      } else {
        field += c;
      }
    }
    EXPECT_TRUE(field.isEmpty() && row.isEmpty() && !quoted) << "the last row is not ended";
    if (rows_.empty()) rows_.emplace_back();
    for (size_t r = 1; r < rows_.size(); ++r)
      EXPECT_EQ(rows_[0].size(), rows_[r].size()) << "row " << r << " has another number of fields";
  }

  const QStringList& Header() const { return rows_[0]; }
  // Rows after the header.
  int Rows() const { return static_cast<int>(rows_.size()) - 1; }
  // The field of row `row` (0-based, after the header) under `name`; fails
  // the test (and gives "?") when there is no such row or column.
  QString operator()(int row, const QString& name) const {
    const qsizetype column = Header().indexOf(name);
    if (column < 0 || row < 0 || row >= Rows() || column >= rows_[row + 1].size()) {
      ADD_FAILURE() << "no field " << name.toStdString() << " in row " << row;
      return QStringLiteral("?");
    }
    return rows_[row + 1][column];
  }
  double Number(int row, const QString& name) const {
    bool ok = false;
    const double value = (*this)(row, name).toDouble(&ok);
    EXPECT_TRUE(ok) << name.toStdString() << " of row " << row << ": " << (*this)(row, name).toStdString();
    return value;
  }

 private:
  std::vector<QStringList> rows_;
};

}  // namespace skarvel::testing
