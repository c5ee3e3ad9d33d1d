// Message boxes on the command line: each text goes to stderr on a line of its own.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tarnhollow/common/message_boxes.h"

namespace tarnhollow {

class ConsoleBoxes : public MessageBoxes {
public:
    void Show(const std::string &text, BoxIcon) override {
        std::fprintf(stderr, "%s\n", text.c_str());
        shown.push_back(text);
    }
    std::vector<std::string> shown;
};

} // namespace tarnhollow
