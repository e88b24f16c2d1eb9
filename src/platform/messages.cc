#include "platform/messages.h"

#include <cstdio>

namespace skarvel {
namespace {

StderrMessageSink g_stderrSink;
MessageSink* g_sink = nullptr;

}  // namespace

void StderrMessageSink::Show(const QString& caption, const QString& text) {
  const QByteArray line = (caption + u' ' + text + u'\n').toUtf8();
  std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
  std::fflush(stderr);
}

MessageSink* SetMessageSink(MessageSink* sink) {
  MessageSink* previous = g_sink;
  g_sink = sink;
  return previous;
}

MessageSink& CurrentMessageSink() { return g_sink != nullptr ? *g_sink : g_stderrSink; }

void MessageBoxA(const QString& text, const QString& caption) { CurrentMessageSink().Show(caption, text); }

}  // namespace skarvel
