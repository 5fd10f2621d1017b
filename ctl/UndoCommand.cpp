#include "ctl/CommandRuns.h"
#include "ctl/ExitCode.h"
#include "fleet/PlanBack.h"
#include "fleet/PlanFile.h"
#include "format/DelimitedRow.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <utility>

namespace pemblor {

namespace {

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::optional<std::string> Cell(const std::string& text)
{
    return text.empty() ? std::nullopt : std::optional(text);
}

// A JSON line of apply --format json; empty, or why it is none.
std::string ReadJsonRow(const std::string& text, ResultRow& row)
{
    const nlohmann::json object = nlohmann::json::parse(text, nullptr, false);
    if (!object.is_object())
        return "is not a JSON object";
    const auto mac = object.find("mac");
    const auto result = object.find("result");
    if (mac == object.end() || !mac->is_string() || result == object.end() || !result->is_string())
        return "has no mac and result";
    row.mac = Upper(mac->get<std::string>());
    row.result = result->get<std::string>();
    const auto before = object.find("before");
    if (before == object.end() || before->is_null())
        return {};
    if (!before->is_object())
        return "has a before that is no object";
    const auto value = [&before](const char* key) -> std::optional<std::string> {
        const auto it = before->find(key);
        return it != before->end() && it->is_string() ? Cell(it->get<std::string>()) : std::nullopt;
    };
    PlanRow plan{row.mac, value("ip"), value("netmask"), value("gateway"), std::nullopt};
    if (const auto dhcp = before->find("dhcp"); dhcp != before->end() && dhcp->is_boolean())
        plan.dhcp = dhcp->get<bool>();
    row.before = std::move(plan);
    return {};
}

bool ReadJson(std::istream& in, std::vector<ResultRow>& rows, std::string& error)
{
    int line = 0;
    for (std::string text; std::getline(in, text);) {
        ++line;
        if (text.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        ResultRow row;
        row.line = line;
        if (const std::string why = ReadJsonRow(text, row); !why.empty()) {
            error = "line " + std::to_string(line) + " " + why + "; a JSON result is what apply --format json prints";
            return false;
        }
        rows.push_back(std::move(row));
    }
    return true;
}

// The CSV of apply --format csv, or of "Export result...": the columns are
// found by their names.
bool ReadCsv(std::istream& in, std::vector<ResultRow>& rows, std::string& error)
{
    static constexpr const char* Needed[] = {"mac", "result", "before_ip", "before_netmask", "before_gateway",
                                             "before_dhcp"};
    std::vector<std::string> cells;
    int lines = 0;
    bool unclosed = false;
    ReadCsvRecord(in, cells, lines, unclosed);
    if (!cells.empty() && cells[0].rfind("\xEF\xBB\xBF", 0) == 0)
        cells[0].erase(0, 3);
    std::map<std::string, std::size_t> column;
    for (std::size_t i = 0; i < cells.size(); ++i)
        column.emplace(cells[i], i);
    for (const char* name : Needed) {
        if (!column.count(name)) {
            error = "line 1 is neither the header of an apply result in CSV (with the column " + std::string(name) +
                    ") nor a JSON outcome";
            return false;
        }
    }
    const std::size_t width = cells.size();
    for (;;) {
        const int start = lines + 1;
        if (!ReadCsvRecord(in, cells, lines, unclosed))
            break;
        if (cells.size() == 1 && cells[0].empty())
            continue;
        if (cells.size() != width) {
            error = "line " + std::to_string(start) + " has " + std::to_string(cells.size()) + " cells; the header " +
                    std::to_string(width);
            return false;
        }
        const auto at = [&](const char* name) -> const std::string& { return cells[column[name]]; };
        ResultRow row{start, Upper(at("mac")), at("result"), std::nullopt};
        const std::string dhcp = at("before_dhcp");
        if (dhcp != "on" && dhcp != "off" && !dhcp.empty()) {
            error = "line " + std::to_string(start) + ": the before_dhcp cell is on, off or empty, not " + dhcp;
            return false;
        }
        PlanRow plan{row.mac, Cell(at("before_ip")), Cell(at("before_netmask")), Cell(at("before_gateway")),
                     dhcp.empty() ? std::nullopt : std::optional(dhcp == "on")};
        if (plan.ip || plan.netmask || plan.gateway || plan.dhcp)
            row.before = std::move(plan);
        rows.push_back(std::move(row));
    }
    if (unclosed) {
        error = "a quote opened on line " + std::to_string(lines) + " is never closed";
        return false;
    }
    return true;
}

bool ReadResult(const std::string& path, std::vector<ResultRow>& rows, CtlIo& io)
{
    std::ifstream file(path);
    if (!file) {
        io.err << "pemblorctl: cannot read the result " << path << ": " << std::strerror(errno) << '\n';
        return false;
    }
    // The first character that is no blank tells JSON from CSV; the lines
    // are counted from the file's start.
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    std::istringstream in(text);
    std::string error;
    if (first == std::string::npos)
        error = "the file is empty; a result is what apply prints with --format json or csv";
    else if (text[first] == '{' ? ReadJson(in, rows, error) : ReadCsv(in, rows, error))
        error = CheckResultRows(rows);
    if (error.empty())
        return true;
    io.err << "pemblorctl: " << path << ": " << error << '\n';
    return false;
}

} // namespace

int RunUndo(const CtlOptions& options, CtlIo& io)
{
    std::vector<ResultRow> rows;
    if (!ReadResult(options.resultFile, rows, io))
        return ExitUsage;
    const PlanBack back = MakePlanBack(rows);
    for (const PlanBack::LeftOut& out : back.leftOut) {
        const ResultRow& row = rows[out.row];
        if (out.why == PlanBack::Why::SharedBefore)
            io.err << "pemblorctl: " << row.mac << " left out: " << out.detail << " had " << *row.before->ip
                   << " before too, and a plan gives each address once\n";
        else if (out.why == PlanBack::Why::CannotPlan)
            io.err << "pemblorctl: " << row.mac << " (line " << row.line << ") left out: " << out.detail << '\n';
    }
    if (!back.leftOut.empty()) {
        io.err << "pemblorctl: " << back.leftOut.size() << " of " << rows.size() << " devices left out";
        const char* sep = ": ";
        if (const std::size_t untouched = back.Count(PlanBack::Why::TookNothing))
            io.err << std::exchange(sep, ", ") << untouched << " took no change (unchanged, would-change, invalid, "
                                                             "not-found or never read)";
        if (const std::size_t shared = back.Count(PlanBack::Why::SharedBefore))
            io.err << std::exchange(sep, ", ") << shared << " had a before address another device had too";
        if (const std::size_t refused = back.Count(PlanBack::Why::CannotPlan))
            io.err << std::exchange(sep, ", ") << refused << " had before values a plan cannot hold";
        io.err << '\n';
    }
    WritePlan(io.out, options.format, back.rows);
    return ExitOk;
}

} // namespace pemblor
