// gen_listing: writes a synthetic frequency-response output listing to stdout.
//
// The listing imitates what a finite-element solver prints for a base-driven
// frequency-response run: a job echo, a real eigenvalue table, then complex
// acceleration vectors (and displacement vectors) in magnitude/phase form for
// every node at every excitation frequency, and a closing run summary.  It is
// meant as input for exercising vandorak, at any size.
//
// Usage:
//   gen_listing [--nodes N] [--freqs F] [--modes M] [--seed S]
//               [--fmin HZ] [--fmax HZ] [--no-displacement]
//
//   defaults: --nodes 4 --freqs 150 --modes 5 --seed 1 --fmin 5 --fmax 2000
//
// Excitation frequencies are log-spaced from fmin to fmax.  The response is a
// sum of damped modal contributions on top of a constant 1 g base input, with
// mode frequencies, damping and participation weights drawn from the seed.
// Random numbers come straight from std::mt19937 (whose sequence is fixed by
// the standard), never from the library distributions, so a given seed gives
// the same bytes with any standard library.
//
// Exit status: 0 on success, 1 on a write error, 2 on bad arguments.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <complex>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr double kG = 386.09;        // 1 g in in/s^2
constexpr double kRotLength = 40.0;  // in; turns rotational weights into rad/s^2
constexpr double kFloor = 1e-12;     // keeps every printed magnitude positive
constexpr double kTwoPi = 2.0 * std::numbers::pi;

const char* const kHeader =
    "   VANDORAK SAMPLE  BASE-DRIVEN BRACKET        DECEMBER 11, 2026"
    "   NE/NASTRAN        PAGE %5d\n";

struct Options {
    long long nodes = 4;
    long long freqs = 150;
    long long modes = 5;
    unsigned long long seed = 1;
    double fmin = 5.0;
    double fmax = 2000.0;
    bool displacement = true;
};

[[noreturn]] void usage_error(const char* fmt, ...) {
    std::va_list ap;
    va_start(ap, fmt);
    std::fputs("gen_listing: ", stderr);
    std::vfprintf(stderr, fmt, ap);
    va_end(ap);
    std::fputs("\nusage: gen_listing [--nodes N] [--freqs F] [--modes M] [--seed S]"
               " [--fmin HZ] [--fmax HZ] [--no-displacement]\n",
               stderr);
    std::exit(2);
}

long long parse_int(std::string_view opt, const char* text, long long lo, long long hi) {
    std::string_view s(text);
    long long v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || v < lo || v > hi)
        usage_error("%.*s expects an integer in [%lld, %lld], got '%s'",
                    static_cast<int>(opt.size()), opt.data(), lo, hi, text);
    return v;
}

double parse_hz(std::string_view opt, const char* text) {
    char* end = nullptr;
    double v = std::strtod(text, &end);
    if (*text == '\0' || *end != '\0' || !std::isfinite(v) || v <= 0.0 || v > 1e7)
        usage_error("%.*s expects a frequency in Hz (0 < HZ <= 1e7), got '%s'",
                    static_cast<int>(opt.size()), opt.data(), text);
    return v;
}

Options parse_args(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string_view a(argv[i]);
        if (a == "--no-displacement") {
            o.displacement = false;
            continue;
        }
        if (a == "-h" || a == "--help") {
            std::puts("usage: gen_listing [--nodes N] [--freqs F] [--modes M] [--seed S]"
                      " [--fmin HZ] [--fmax HZ] [--no-displacement]");
            std::exit(0);
        }
        bool known = a == "--nodes" || a == "--freqs" || a == "--modes" || a == "--seed" ||
                     a == "--fmin" || a == "--fmax";
        if (!known) usage_error("unknown argument '%s'", argv[i]);
        if (i + 1 >= argc) usage_error("%s needs a value", argv[i]);
        const char* v = argv[++i];
        if (a == "--nodes") o.nodes = parse_int(a, v, 1, 99900);
        else if (a == "--freqs") o.freqs = parse_int(a, v, 1, 100000);
        else if (a == "--modes") o.modes = parse_int(a, v, 1, 200);
        else if (a == "--seed") o.seed = static_cast<unsigned long long>(parse_int(a, v, 0, 4294967295LL));
        else if (a == "--fmin") o.fmin = parse_hz(a, v);
        else o.fmax = parse_hz(a, v);
    }
    if (!(o.fmax > o.fmin)) usage_error("--fmax (%g) must be greater than --fmin (%g)", o.fmax, o.fmin);
    return o;
}

// Uniform double in [0, 1) with 53 random bits built from two raw mt19937 words.
class Rng {
public:
    explicit Rng(std::uint32_t seed) : mt_(seed) {}
    double uniform() {
        std::uint64_t a = mt_() >> 5;  // 27 bits
        std::uint64_t b = mt_() >> 6;  // 26 bits
        return static_cast<double>((a << 26) | b) * (1.0 / 9007199254740992.0);
    }
    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    bool chance(double p) { return uniform() < p; }

private:
    std::mt19937 mt_;
};

// Buffered stdout writer: one snprintf per line into a big buffer, fwrite when full.
class Out {
public:
    Out() : buf_(1 << 22) {}
    ~Out() { flush(); }
    [[gnu::format(printf, 2, 3)]] void line(const char* fmt, ...) {
        if (buf_.size() - used_ < 512) flush();
        std::va_list ap;
        va_start(ap, fmt);
        int n = std::vsnprintf(buf_.data() + used_, buf_.size() - used_, fmt, ap);
        va_end(ap);
        if (n < 0 || static_cast<std::size_t>(n) >= buf_.size() - used_) {
            std::fputs("gen_listing: internal formatting error\n", stderr);
            std::exit(1);
        }
        used_ += static_cast<std::size_t>(n);
    }
    void text(const char* s) { line("%s", s); }
    void flush() {
        if (used_ == 0) return;
        if (std::fwrite(buf_.data(), 1, used_, stdout) != used_ || std::fflush(stdout) != 0) {
            std::fputs("gen_listing: write error\n", stderr);
            std::exit(1);
        }
        used_ = 0;
    }

private:
    std::vector<char> buf_;
    std::size_t used_ = 0;
};

struct Mode {
    double fn;    // Hz
    double zeta;  // fraction of critical damping
};

// Model: per node and component (T1 T2 T3 R1 R2 R3), one participation weight per mode.
struct Model {
    std::vector<Mode> modes;
    std::vector<int> ids;
    std::vector<double> w;  // [node][component][mode]
    double weight(std::size_t node, int comp, std::size_t mode) const {
        return w[(node * 6 + static_cast<std::size_t>(comp)) * modes.size() + mode];
    }
};

Model build_model(const Options& o, Rng& rng) {
    Model m;
    const auto nm = static_cast<std::size_t>(o.modes);
    const auto nn = static_cast<std::size_t>(o.nodes);

    // One mode per equal slice of the log band, so they come out ascending and distinct.
    double lo = 2.0 * o.fmin, hi = o.fmax / 3.0;
    if (hi < lo * 1.5) lo = o.fmin, hi = o.fmax;
    const double slice = std::log(hi / lo) / static_cast<double>(nm);
    for (std::size_t i = 0; i < nm; ++i) {
        double fn = lo * std::exp(slice * (static_cast<double>(i) + rng.uniform(0.1, 0.9)));
        m.modes.push_back({fn, rng.uniform(0.02, 0.05)});
    }

    // Ascending ids from 101 with seeded gaps; the gap bound keeps the last id <= 100000.
    const int max_gap = static_cast<int>(std::clamp<long long>(99899 / o.nodes, 1, 10));
    int id = 101;
    for (std::size_t n = 0; n < nn; ++n) {
        m.ids.push_back(id);
        id += 1 + static_cast<int>(rng.uniform() * max_gap) % max_gap;
    }

    // Each mode moves mainly along one translation; higher modes participate less.
    std::vector<int> dominant(nm);
    for (auto& d : dominant) d = static_cast<int>(rng.uniform() * 3.0) % 3;

    m.w.resize(nn * 6 * nm);
    for (std::size_t n = 0; n < nn; ++n) {
        for (int c = 0; c < 6; ++c) {
            // Some rotations hardly respond at all.
            const double rot_scale = (c >= 3 && rng.chance(0.35)) ? 0.01 : 1.0;
            for (std::size_t i = 0; i < nm; ++i) {
                const double sign = rng.chance(0.3) ? -1.0 : 1.0;
                const double decay = 1.0 / (1.0 + 0.5 * static_cast<double>(i));
                double v;
                if (c < 3)
                    v = rng.uniform(0.05, 0.6) * (c == dominant[i] ? 1.0 : 0.2);
                else
                    v = rng.uniform(0.01, 0.15) * rot_scale;
                m.w[(n * 6 + static_cast<std::size_t>(c)) * nm + i] = sign * decay * v;
            }
        }
    }
    return m;
}

std::vector<double> excitation_freqs(const Options& o) {
    std::vector<double> f(static_cast<std::size_t>(o.freqs));
    const double n1 = static_cast<double>(o.freqs - 1);
    for (std::size_t k = 0; k < f.size(); ++k)
        f[k] = (k == 0) ? o.fmin
             : (k + 1 == f.size()) ? o.fmax
             : o.fmin * std::pow(o.fmax / o.fmin, static_cast<double>(k) / n1);
    // The listing shows 7 significant digits; neighbours must still print differently.
    char prev[32] = "", cur[32];
    for (double v : f) {
        std::snprintf(cur, sizeof cur, "%13.6E", v);
        if (std::strcmp(prev, cur) == 0)
            usage_error("%lld frequencies between %.10g and %.10g Hz are too close to print distinctly",
                        o.freqs, o.fmin, o.fmax);
        std::memcpy(prev, cur, sizeof cur);
    }
    return f;
}

// Complex acceleration of one node component at frequency f.  Translations ride
// on the 1 g base input (in/s^2); rotations have only the modal part (rad/s^2).
std::complex<double> accel(const Model& m, std::size_t node, int comp, double f) {
    std::complex<double> sum = 0.0;
    for (std::size_t i = 0; i < m.modes.size(); ++i) {
        const double r = f / m.modes[i].fn;
        const std::complex<double> den(1.0 - r * r, 2.0 * m.modes[i].zeta * r);
        sum += m.weight(node, comp, i) * r * r / den;
    }
    return comp < 3 ? kG * (1.0 + sum) : (kG / kRotLength) * sum;
}

struct Page {
    Out& out;
    int number = 1;
    void header() { out.line(kHeader, number++); }
};

void write_preamble(Out& out, Page& page, const Options& o) {
    page.header();
    out.text("\n");
    out.text("                                        E X E C U T I V E   C O N T R O L   E C H O\n");
    out.text("\n");
    out.text("     SOL SEMFREQ\n");
    out.text("     TIME 60\n");
    out.text("     CEND\n");
    out.text("\n");
    out.text("                                           C A S E   C O N T R O L   E C H O\n");
    out.text("\n");
    out.text("     TITLE = VANDORAK SAMPLE  BASE-DRIVEN BRACKET\n");
    out.text("     SUBTITLE = SEMFREQ RUN\n");
    out.line("     $ SYNTHETIC LISTING: NODES %lld, EXCITATION POINTS %lld, MODES %lld, SEED %llu\n",
             o.nodes, o.freqs, o.modes, o.seed);
    out.text("     METHOD = 10\n");
    out.text("     SDAMPING = 40\n");
    out.text("     DLOAD = 30\n");
    out.text("     ACCELERATION(PHASE) = ALL\n");
    if (o.displacement) out.text("     DISPLACEMENT(PHASE) = ALL\n");
    out.text("     BEGIN BULK\n");
    out.text("\n");
}

void write_eigen_table(Out& out, Page& page, const Model& m) {
    page.header();
    out.text("\n");
    out.text("                                              R E A L   E I G E N V A L U E S\n");
    out.text("\n");
    out.text("   MODE     EIGENVALUE        RADIANS          CYCLES        GENERALIZED      GENERALIZED\n");
    out.text("  NUMBER                                                          MASS           STIFFNESS\n");
    for (std::size_t i = 0; i < m.modes.size(); ++i) {
        const double omega = kTwoPi * m.modes[i].fn;
        const double lambda = omega * omega;
        out.line("%8zu    %13.6E    %13.6E    %13.6E    %13.6E    %13.6E\n", i + 1, lambda, omega,
                 m.modes[i].fn, 1.0, lambda);
    }
    out.text("   MAX. ORTHOGONALITY ERROR = 1.1E-13\n");
    out.text("\n");
}

// Phase angle in degrees wrapped to [-180, 180).
double wrap_deg(double d) {
    d = std::fmod(d, 360.0);
    if (d < -180.0) d += 360.0;
    if (d >= 180.0) d -= 360.0;
    return d;
}

void write_block(Out& out, Page& page, const Model& m, double f, bool displacement) {
    page.header();
    out.text("\n");
    out.line("      SEMFREQ RUN     SUBCASE 1     FREQUENCY = %13.6E\n", f);
    out.text("\n");
    out.text(displacement
                 ? "                                       C O M P L E X   D I S P L A C E M E N T   V E C T O R\n"
                 : "                                       C O M P L E X   A C C E L E R A T I O N   V E C T O R\n");
    out.text("                                                          (MAGNITUDE/PHASE)\n");
    out.text("\n");
    out.text("      POINT ID.   TYPE          T1             T2             T3             R1             R2             R3\n");
    out.text("\n");

    const double w2 = (kTwoPi * f) * (kTwoPi * f);
    double mag[6], ph[6];
    for (std::size_t n = 0; n < m.ids.size(); ++n) {
        for (int c = 0; c < 6; ++c) {
            const std::complex<double> a = accel(m, n, c, f);
            double amp = std::abs(a);
            double deg = std::arg(a) * (180.0 / std::numbers::pi);
            if (displacement) {
                amp /= w2;
                deg = wrap_deg(deg - 180.0);
            }
            mag[c] = std::isfinite(amp) ? std::max(amp, kFloor) : kFloor;
            ph[c] = std::isfinite(deg) ? deg : 0.0;
        }
        out.line("%14d%8d   %13.6E  %13.6E  %13.6E  %13.6E  %13.6E  %13.6E\n", m.ids[n], 1, mag[0],
                 mag[1], mag[2], mag[3], mag[4], mag[5]);
        out.line("                         %10.4f     %10.4f     %10.4f     %10.4f     %10.4f     %10.4f\n",
                 ph[0], ph[1], ph[2], ph[3], ph[4], ph[5]);
    }
    out.text("\n");
}

void write_summary(Out& out, Page& page) {
    page.header();
    out.text("\n");
    out.text("                                        * * * *  R U N   S U M M A R Y  * * * *\n");
    out.text("\n");
    out.text("                    ANALYSIS COMPLETED NORMALLY\n");
    out.text("                    TOTAL WARNINGS        =     0\n");
    out.text("                    TOTAL FATAL ERRORS    =     0\n");
    out.text("\n");
    out.text("   END OF JOB\n");
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse_args(argc, argv);
    const std::vector<double> freqs = excitation_freqs(o);
    Rng rng(static_cast<std::uint32_t>(o.seed));
    const Model model = build_model(o, rng);

    Out out;
    Page page{out};
    write_preamble(out, page, o);
    write_eigen_table(out, page, model);
    for (double f : freqs) write_block(out, page, model, f, false);
    if (o.displacement)
        for (double f : freqs) write_block(out, page, model, f, true);
    write_summary(out, page);
    out.flush();
    return 0;
}
