// Everything written to stderr while it lives; Release() ends the capture
// and returns the text.
#pragma once

#include <QString>
#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

class Captured_Stderr {
public:
    Captured_Stderr()
    {
        file_.open();
        std::fflush(stderr);
        saved_ = dup(2);
        dup2(file_.handle(), 2);
    }
    ~Captured_Stderr() { Release(); }

    QString Release()
    {
        if (saved_ >= 0) {
            std::fflush(stderr);
            dup2(saved_, 2);
            close(saved_);
            saved_ = -1;
        }
        file_.seek(0);
        return QString::fromLocal8Bit(file_.readAll());
    }

private:
    QTemporaryFile file_;
    int saved_ = -1;
};
