// Where HTML Help's own messages go, the same for every system's help call.
#include "platform/HtmlHelp.h"

#include <cstdio>
#include <utility>

namespace platform {

namespace {

HtmlHelpMessageSink& Sink() {
  static HtmlHelpMessageSink sink;
  return sink;
}

}  // namespace

HtmlHelpMessageSink SetHtmlHelpMessageSink(HtmlHelpMessageSink sink) {
  return std::exchange(Sink(), std::move(sink));
}

void SayHtmlHelpMessage(const std::string& text) {
  const HtmlHelpMessageSink sink = Sink();  // a copy: showing it may install another
  if (sink)
    sink(text);
  else
    std::fprintf(stderr, "%s\n", text.c_str());
}

}  // namespace platform
