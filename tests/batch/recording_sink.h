#pragma once
// A RowSink that keeps a list the way the window would, and a log of the control calls. The
// worker writes it while the test may read it, so every access takes the lock.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/row_sink.h"
#include "texts/texts.h"

namespace brindle::testing {

struct Row {
    std::string column0;
    std::string column1;
    bool failed = false;
    bool operator==(const Row&) const = default;
};

class RecordingSink final : public RowSink {
public:
    void deleteAllRows() override {
        const std::lock_guard lock(mutex_);
        rows_.clear();
        calls_.push_back("delete rows");
    }
    void insertRow(std::int32_t index, const std::string& column0) override {
        {
            const std::lock_guard lock(mutex_);
            if (index < 0 || static_cast<std::size_t>(index) > rows_.size()) {
                calls_.push_back("bad row index " + std::to_string(index));
                return;
            }
            rows_.insert(rows_.begin() + index, Row{column0, {}, false});
        }
        if (onInsertRow) onInsertRow(column0);
    }
    void setColumn1(std::int32_t index, const std::string& text) override {
        const std::lock_guard lock(mutex_);
        if (index < 0 || static_cast<std::size_t>(index) >= rows_.size()) {
            calls_.push_back("bad row index " + std::to_string(index));
            return;
        }
        rows_[static_cast<std::size_t>(index)].column1 = text;
    }
    void markFailed(std::int32_t index) override {
        const std::lock_guard lock(mutex_);
        if (index < 0 || static_cast<std::size_t>(index) >= rows_.size()) {
            calls_.push_back("bad row index " + std::to_string(index));
            return;
        }
        rows_[static_cast<std::size_t>(index)].failed = true;
    }
    void enableButton(FolderButton button, bool enabled) override {
        const std::lock_guard lock(mutex_);
        calls_.push_back(std::string(button == FolderButton::Source ? "source " : "output ") +
                         (enabled ? "on" : "off"));
    }
    void setStartCommandText(const char* text) override {
        const std::lock_guard lock(mutex_);
        calls_.push_back(std::string("start text ") + text);
    }
    void showCompletionMessage(const std::string& text, const char* caption) override {
        if (onMessage) onMessage();
        const std::lock_guard lock(mutex_);
        calls_.push_back("message " + text + " | " + caption);
    }

    std::vector<Row> rows() const {
        const std::lock_guard lock(mutex_);
        return rows_;
    }
    std::vector<std::string> calls() const {
        const std::lock_guard lock(mutex_);
        return calls_;
    }

    // Run on the worker thread, outside the lock: when a row is inserted (before its engine
    // runs) and when the completion message is shown.
    std::function<void(const std::string& column0)> onInsertRow;
    std::function<void()> onMessage;

private:
    mutable std::mutex mutex_;
    std::vector<Row> rows_;
    std::vector<std::string> calls_;
};

// The call the sink records for the completion message of a batch that created count files and
// saw failed others fail; then, when the engine could not be started, why.
inline std::string doneMessage(const Texts& texts, int count, int failed = 0,
                               const std::string& engineMissing = {}) {
    std::string call("message ");
    call.append(texts.batchDonePrefix).append(std::to_string(count)).append(texts.batchDoneSuffix);
    if (failed > 0) {
        call.append("\n").append(texts.failedCountPrefix).append(std::to_string(failed));
        call.append(texts.failedCountSuffix);
    }
    if (!engineMissing.empty()) call.append("\n").append(engineMissing);
    call.append(" | ").append(texts.systemNotice);
    return call;
}

}  // namespace brindle::testing
