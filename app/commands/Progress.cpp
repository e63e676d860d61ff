#include "commands/Progress.h"

#include <cstdio>
#include <string>
#include <unistd.h>

Progress::Progress(std::size_t total, bool visible) : total_(total), visible_(visible && isatty(STDERR_FILENO))
{
    if (visible_)
        Draw();
}

double Progress::Seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

double Progress::FramesPerSecond() const
{
    const double seconds = Seconds();
    return seconds > 0 ? done_ / seconds : 0.0;
}

void Progress::FrameDone()
{
    ++done_;
    if (visible_ && (done_ == total_ || Clock::now() - lastDraw_ > std::chrono::milliseconds(200)))
        Draw();
}

void Progress::Draw()
{
    lastDraw_ = Clock::now();
    constexpr std::size_t kWidth = 30;
    const std::size_t filled = total_ ? done_ * kWidth / total_ : kWidth;
    const std::string bar = std::string(filled, '#') + std::string(kWidth - filled, '-');
    const double fps = FramesPerSecond();
    const long left = fps > 0 ? static_cast<long>((total_ - done_) / fps + 0.5) : -1;
    char eta[32] = "--:--";
    if (left >= 0)
        std::snprintf(eta, sizeof eta, "%ld:%02ld", left / 60, left % 60);
    std::fprintf(stderr, "\r[%s] %zu/%zu frames  %.1f fps  %s left ", bar.c_str(), done_, total_, fps, eta);
    std::fflush(stderr);
}

void Progress::Finish()
{
    if (visible_)
        std::fprintf(stderr, "\r%*s\r", 80, "");
}
