#include "capture.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

namespace wextest {
namespace {

std::string FreshPath(const char* prefix) {
    char dir[MAX_PATH], path[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, prefix, 0, path);
    return path;
}

std::string ReadText(const std::string& path) {
    std::string text;
    if (std::FILE* f = std::fopen(path.c_str(), "r")) {
        char chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) text.append(chunk, n);
        std::fclose(f);
    }
    return text;
}

}  // namespace

StdCapture::StdCapture() {
    std::fflush(stdout);
    std::fflush(stderr);
    for (Stream* s : {&out_, &err_}) {
        s->path = FreshPath(s->fd == 1 ? "out" : "err");
        int fd = _open(s->path.c_str(), _O_WRONLY | _O_TRUNC | _O_BINARY);
        s->saved = _dup(s->fd);
        _dup2(fd, s->fd);
        _close(fd);
    }
}

StdCapture::~StdCapture() { Stop(); }

void StdCapture::Stop() {
    if (stopped_) return;
    stopped_ = true;
    std::fflush(stdout);
    std::fflush(stderr);
    for (Stream* s : {&out_, &err_}) {
        _dup2(s->saved, s->fd);
        _close(s->saved);
        s->text = ReadText(s->path);
        DeleteFileA(s->path.c_str());
    }
}

std::string StdCapture::Out() {
    Stop();
    return out_.text;
}

std::string StdCapture::Err() {
    Stop();
    return err_.text;
}

std::string ErrCapture::Err() {
    if (!ended_) {
        err_ = capture_.Err();
        std::fputs(capture_.Out().c_str(), stdout);
        ended_ = true;
    }
    return err_;
}

}  // namespace wextest
