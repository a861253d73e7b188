#include "XvfbServer.h"

#include "ReadyChild.h"

namespace quorel::test {

XvfbServer::XvfbServer()
{
    const ReadyChild child =
        startReadyChild({"Xvfb", "-displayfd", "{fd}", "-nolisten", "tcp", "-screen", "0", "640x480x24", "-noreset"},
                        "Xvfb did not report its display");
    pid_ = child.pid;
    error_ = child.error;
    if (pid_ > 0) display_ = ":" + QString::fromLatin1(child.line);
}

XvfbServer::~XvfbServer() { stop(); }

void XvfbServer::stop() { stopChild(pid_); }

}  // namespace quorel::test
