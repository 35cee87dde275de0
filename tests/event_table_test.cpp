// The event table against the manual's list of events and calls: every kind
// and every field, in the log's order, and nothing the table does not hold.
#include "device/events.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Row {
    std::string name;
    std::vector<std::string> fields; // the names in backticks of its second cell
};

// The rows of the manual's table whose header line is header.
std::vector<Row> TableOf(const std::string& header) {
    std::ifstream in(AUTORUN_SOURCE_DIR "/docs/autorun-sim.md");
    std::stringstream text;
    text << in.rdbuf();
    std::istringstream lines(text.str());
    std::vector<Row> rows;
    bool inTable = false;
    const std::regex field("`([A-Za-z]+)`");
    for (std::string line; std::getline(lines, line);) {
        if (line == header) {
            inTable = true;
            continue;
        }
        if (!inTable || line.rfind("|---", 0) == 0) {
            continue;
        }
        if (line.empty() || line[0] != '|') {
            break;
        }
        const std::size_t nameEnd = line.find('|', 1);
        const std::size_t fieldsEnd = line.find('|', nameEnd + 1);
        Row row;
        row.name = line.substr(2, nameEnd - 3);
        const std::string cell = line.substr(nameEnd, fieldsEnd - nameEnd);
        for (std::sregex_iterator it(cell.begin(), cell.end(), field), end; it != end; ++it) {
            row.fields.push_back((*it)[1]);
        }
        rows.push_back(row);
    }
    return rows;
}

TEST(EventTable, TheManualListsEveryKindWithItsFieldsInOrder) {
    std::vector<Row> rows = TableOf("| event | fields | when |");
    // The last line of the log is the device's state, which the writer adds.
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ("state", rows.back().name);
    rows.pop_back();
    const std::vector<sim::KindInfo>& table = sim::EventTable();
    ASSERT_EQ(table.size(), rows.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        std::vector<std::string> fields;
        for (const char* field : table[i].fields) {
            // A call's own fields are listed by operation, below.
            if (std::string(field) != "record") {
                fields.push_back(field);
            }
        }
        EXPECT_EQ(table[i].name, rows[i].name);
        EXPECT_EQ(fields, rows[i].fields) << table[i].name;
    }
}

TEST(EventTable, TheManualListsEachCallsFieldsInOrder) {
    const std::vector<Row> rows = TableOf("| operation | fields |");
    ASSERT_EQ(sim::OpCount, rows.size());
    for (std::size_t i = 0; i < sim::OpCount; ++i) {
        const sim::Op op = static_cast<sim::Op>(i);
        EXPECT_EQ(sim::NameOf(op), rows[i].name);
        EXPECT_EQ(std::vector<std::string>(sim::CallFields(op).begin(), sim::CallFields(op).end()),
                  rows[i].fields)
            << sim::NameOf(op);
    }
}

} // namespace
