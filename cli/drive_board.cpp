#include "cli/drive_board.h"

#include <algorithm>

#include "cli/console_output.h"

namespace cli {

class DriveBoard::DriveSink final : public ConsoleSink {
  public:
    DriveSink(DriveBoard& board, size_t drive) : m_board(board), m_drive(drive) {}
    // A message names its drive: several drives say the same things.
    void Line(const std::string& line, bool toError) override {
        if (!toError) return m_board.Scroll(line, false);
        const std::string tool = "tavrel-cli: ", label = m_board.m_labels[m_drive] + ": ";
        m_board.Scroll(
            line.rfind(tool, 0) == 0 ? tool + label + line.substr(tool.size()) : label + line,
            true);
    }
    bool live() const override { return m_board.m_live; }
    void Progress(const std::string& line) override { m_board.SetLine(m_drive, line); }

  private:
    DriveBoard& m_board;
    size_t m_drive;
};

std::string BoardLine(const std::string& label, size_t width, const std::string& text,
                      size_t columns) {
    std::string line = label;
    if (TextWidth(line) < width) line += std::string(width - TextWidth(line), ' ');
    line += "  " + text;
    // A line longer than the terminal would wrap, and the board would no longer know how many
    // lines to go back up: it is cut one short of the width, at a character's start.
    const size_t keep = columns > 1 ? columns - 1 : 1;
    size_t chars = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        if ((static_cast<unsigned char>(line[i]) & 0xC0) == 0x80) continue;
        if (chars++ == keep) return line.substr(0, i);
    }
    return line;
}

DriveBoard::DriveBoard(const std::vector<std::string>& driveLabels, bool live)
    : m_live(live), m_labels(driveLabels), m_lines(driveLabels.size()) {
    for (size_t i = 0; i < driveLabels.size(); ++i)
        m_sinks.push_back(std::make_unique<DriveSink>(*this, i));
}

ConsoleSink& DriveBoard::SinkFor(size_t drive) {
    return *m_sinks[drive];
}

DriveBoard::~DriveBoard() {
    Close();
}

void DriveBoard::EraseLocked() {
    if (m_drawn == 0) return;
    // Up to the board's first line, then everything below the cursor goes.
    WriteErr("\r\x1b[" + std::to_string(m_drawn) + "A\x1b[J");
    m_drawn = 0;
}

void DriveBoard::DrawLocked() {
    if (!m_live || m_held || m_closed) return;
    size_t width = 0;
    for (const std::string& label : m_labels) width = std::max(width, TextWidth(label));
    const size_t columns = static_cast<size_t>(ErrColumns());
    std::string board;
    for (size_t i = 0; i < m_lines.size(); ++i)
        board += BoardLine(m_labels[i], width, m_lines[i], columns) + "\n";
    WriteErr(board);
    m_drawn = m_lines.size();
    m_lastDraw = std::chrono::steady_clock::now();
    m_stale = false;
}

void DriveBoard::SetLine(size_t drive, const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_lines[drive] == text && !m_stale) return;
    m_stale |= m_lines[drive] != text;
    m_lines[drive] = text;
    if (!m_live || m_held || m_closed) return;
    // Drawn later with whatever comes next: a drive waiting redraws its line twice a second.
    if (std::chrono::steady_clock::now() - m_lastDraw < std::chrono::milliseconds(100)) return;
    EraseLocked();
    DrawLocked();
}

void DriveBoard::Scroll(const std::string& line, bool toError) {
    std::lock_guard<std::mutex> lock(m_mutex);
    // Not into the middle of a question and its answer.
    if (m_held) {
        m_heldLines.emplace_back(line, toError);
        return;
    }
    EraseLocked();
    if (toError)
        WriteErr(line + "\n");
    else
        WriteOut(line + "\n");
    DrawLocked();
}

void DriveBoard::Close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    EraseLocked();
    m_closed = true;
}

DriveBoard::Aside::Aside(DriveBoard& board) : m_board(board), m_asking(board.m_asking) {
    std::lock_guard<std::mutex> lock(m_board.m_mutex);
    m_board.EraseLocked();
    m_board.m_held = true;
}

DriveBoard::Aside::~Aside() {
    std::lock_guard<std::mutex> lock(m_board.m_mutex);
    m_board.m_held = false;
    for (const auto& [line, toError] : m_board.m_heldLines)
        toError ? WriteErr(line + "\n") : WriteOut(line + "\n");
    m_board.m_heldLines.clear();
    m_board.DrawLocked();
}

}  // namespace cli
