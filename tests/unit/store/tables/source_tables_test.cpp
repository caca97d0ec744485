// A source column hands back every value as it was appended, whatever its size, and gives equal
// texts of a grouping column one id.
#include "store/tables/source_tables.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

TEST(SourceColumn, HandsBackEveryValueAndSharesTextsOfAGroupingColumn) {
  const std::string big(100000, 'b');  // longer than a block of texts
  Value blob;
  blob.type = ValueType::kBlob;
  blob.bytes = "AB";
  const std::vector<Value> values = {integerValue(0),
                                     integerValue((1 << 27) - 1),
                                     integerValue(1 << 27),
                                     integerValue(-(1 << 27)),
                                     integerValue(-(1 << 27) - 1),
                                     integerValue(INT64_MIN),
                                     integerValue(INT64_MAX),
                                     realValue(-0.5),
                                     textValue("AB"),
                                     blob,
                                     textValue(""),
                                     Value(),
                                     textValue(big),
                                     textValue("AB"),
                                     textValue("ab")};
  SourceColumn column("SubjectID", Affinity::kNone, "BINARY");
  for (const Value& value : values) {
    column.append(value);
  }
  ASSERT_EQ(column.size(), values.size());
  for (std::size_t row = 0; row < values.size(); ++row) {
    Value value = column.at(row);
    EXPECT_EQ(value.type, values[row].type) << row;
    EXPECT_EQ(value.integer, values[row].integer) << row;
    EXPECT_EQ(value.real, values[row].real) << row;
    EXPECT_EQ(value.bytes, values[row].bytes) << row;
  }
  EXPECT_EQ(column.bytesIdAt(8), column.bytesIdAt(13));  // "AB" again, after other values
  EXPECT_NE(column.bytesIdAt(8), column.bytesIdAt(9));   // a blob of the same bytes
  EXPECT_NE(column.bytesIdAt(8), column.bytesIdAt(14));
}
