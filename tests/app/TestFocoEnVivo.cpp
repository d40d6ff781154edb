// SPDX-License-Identifier: GPL-3.0-or-later
// The field mode's live focus answer over runs of figures: when it trusts the best position,
// what the title and the readout line say, and the exposures that follow a run.
#include "FocoEnVivo.h"
#include "Numeros.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <regex>

namespace {

// A cone's HFD a · sqrt(1 + ((x − p) / b)²) with a relative scatter of 3 %, as a field's
// median HFD scatters from frame to frame.
struct Cono {
    double a = 2.6, b = 180, p = 12680;
    std::mt19937_64 azar{20261209};
    double HFD(double x) {
        const double u = (x - p) / b;
        return a * std::sqrt(1 + u * u) * (1 + 0.03 * std::normal_distribution<double>()(azar));
    }
};

std::optional<TPosicionFoco> En(double x, const char* clave = "FOCUSPOS") {
    return TPosicionFoco{x, clave};
}

void Anotar(TFocoEnVivo& f, Cono& c, double x) {
    const double hfd = c.HFD(x);
    f.Anotar(En(x), hfd, static_cast<float>(0.85 * hfd));
}

double PosicionDelTitulo(const std::string& titulo) {
    std::smatch m;
    EXPECT_TRUE(std::regex_match(titulo, m, std::regex(R"( - mejor foco (-?\d+(\.\d+)?))")))
        << titulo;
    return m.empty() ? NAN : std::stod(m[1]);
}

} // namespace

// Frame by frame over a run of 15 steps of 100 across the best focus (12680, between steps):
// nothing is trusted while the run has one side of the V, the best position once it has both.
TEST(FocoEnVivo, RunFrameByFrame) {
    TFocoEnVivo f;
    Cono c;
    EXPECT_EQ(f.Linea(), "");
    EXPECT_EQ(f.Titulo(), "");
    Anotar(f, c, 12000);
    EXPECT_EQ(f.Linea(), "Sin mejor foco: pocos puntos a un lado (1 foto)");
    for (int i = 1; i <= 6; ++i) Anotar(f, c, 12000 + 100 * i); // up to 12600: the left side
    EXPECT_EQ(f.Titulo(), "");
    EXPECT_TRUE(f.Linea().starts_with("Sin mejor foco: ")) << f.Linea();
    EXPECT_TRUE(f.Linea().ends_with(" (7 fotos)")) << f.Linea();
    for (int i = 7; i < 15; ++i) Anotar(f, c, 12000 + 100 * i);
    const double p = PosicionDelTitulo(f.Titulo());
    EXPECT_NEAR(p, c.p, 25) << "within a quarter step";
    const std::regex linea(R"(Mejor foco: (\d+) \(15 fotos, R2 0\.9\d\d\))");
    std::smatch m;
    const std::string texto = f.Linea();
    ASSERT_TRUE(std::regex_match(texto, m, linea)) << texto;
    EXPECT_EQ(std::stod(m[1]), p);
}

// Runs that give no answer, and why, as quorvel-medir --curva says it.
TEST(FocoEnVivo, UntrustedRuns) {
    struct Caso {
        const char* nombre;
        std::vector<double> x, hfd;
        const char* prefijo;
    } casos[] = {
        {"tres fotos", {100, 200, 300}, {4, 3, 4}, "Sin mejor foco: pocos puntos a un lado (3 fotos)"},
        {"llano", {100, 200, 300, 400, 500, 600, 700}, {3, 3.02, 2.99, 3.01, 3, 2.98, 3.01},
         "Sin mejor foco: "},
        {"solo baja", {100, 200, 300, 400, 500, 600}, {9, 7.5, 6, 4.6, 3.5, 3},
         "Sin mejor foco: "},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nombre);
        TFocoEnVivo f;
        for (size_t i = 0; i < c.x.size(); ++i)
            f.Anotar(En(c.x[i]), c.hfd[i], static_cast<float>(c.hfd[i]));
        EXPECT_EQ(f.Titulo(), "");
        EXPECT_TRUE(f.Linea().starts_with(c.prefijo)) << f.Linea();
        EXPECT_FALSE(f.Serie().HFD.Bien());
    }
}

// After a trusted run the focuser stays: the exposures are judged against the curve's
// minimum and leave the curve as it was; a move of the focuser starts fitting again.
TEST(FocoEnVivo, ExposuresAfterTheRun) {
    TFocoEnVivo f;
    Cono c;
    for (int i = 0; i < 15; ++i) Anotar(f, c, 12000 + 100 * i);
    Anotar(f, c, 12700); // the focuser set to the answer: one more point of the run
    const TAjusteCurva antes = f.Serie().HFD;
    ASSERT_TRUE(antes.Bien());
    const std::string titulo = f.Titulo();
    const struct {
        double exceso; // percent over the minimum
        const char* texto;
    } exposiciones[] = {{12.2, "+12"}, {0.3, "+0"}, {-4.6, "-5"}, {250, "+250"}};
    for (const auto& e : exposiciones) {
        f.Anotar(En(12700), antes.A * (1 + e.exceso / 100), 2.0f);
        EXPECT_EQ(f.Linea(), "Mejor foco: " + titulo.substr(std::string(" - mejor foco ").size()) +
                                 " · HFD " + e.texto + " % sobre el mejor foco");
        EXPECT_EQ(f.Titulo(), titulo);
        EXPECT_EQ(f.Serie().HFD.P, antes.P);
        EXPECT_EQ(f.Puntos().size(), 16u);
    }
    Anotar(f, c, 12800);
    EXPECT_EQ(f.Puntos().size(), 17u);
    EXPECT_TRUE(f.Linea().starts_with("Mejor foco: ")) << f.Linea();
    EXPECT_EQ(f.Linea().find("sobre"), std::string::npos);
}

// Before the curve is trusted, frames at one position are all points of the run (a capture
// program taking several exposures at each step).
TEST(FocoEnVivo, RepeatedPositionsBeforeTrustAreFitted) {
    TFocoEnVivo f;
    Cono c;
    for (int i = 0; i < 5; ++i)
        for (int k = 0; k < 2; ++k) Anotar(f, c, 12000 + 100 * i);
    EXPECT_EQ(f.Puntos().size(), 10u);
    EXPECT_EQ(f.Linea().find("sobre"), std::string::npos);
}

// Frames without a position are no part of the run; a position that cannot be read is said
// until the next frame; two counters in one run are refused; a reset forgets everything.
TEST(FocoEnVivo, FramesThatGiveNoAnswer) {
    TFocoEnVivo f;
    for (int i = 0; i < 20; ++i) f.Anotar(std::nullopt, 3 + 0.1 * i, 2.5f);
    EXPECT_EQ(f.Linea(), "");
    EXPECT_EQ(f.Titulo(), "");
    EXPECT_TRUE(f.Puntos().empty());

    f.Rechazar("FOCUSPOS no es un número: 'cerca'");
    EXPECT_EQ(f.Linea(), "Foto sin posición del enfocador: FOCUSPOS no es un número: 'cerca'");
    f.Anotar(En(100), 4, 3.5f);
    EXPECT_EQ(f.Linea(), "Sin mejor foco: pocos puntos a un lado (1 foto)");

    Cono c;
    for (int i = 0; i < 15; ++i) Anotar(f, c, 12000 + 100 * i);
    f.Anotar(En(12800, "FOCPOS"), 3, 2.5f);
    EXPECT_EQ(f.Titulo(), "");
    EXPECT_TRUE(f.Linea().starts_with("Sin mejor foco: unas fotos dan la posición en FOCUSPOS y "
                                      "otras en FOCPOS"))
        << f.Linea();

    f.Vaciar();
    EXPECT_EQ(f.Linea(), "");
    EXPECT_EQ(f.Titulo(), "");
    EXPECT_TRUE(f.Puntos().empty());
}

// Positions in hundredths of a millimetre give the answer in hundredths, with the user's
// decimal separator.
TEST(FocoEnVivo, ThePositionsResolution) {
    const Separadores antes = SeparadoresUsuario;
    SeparadoresUsuario.decimal = ',';
    TFocoEnVivo f;
    Cono c{2.4, 0.2, 3.4267};
    for (int i = 0; i < 21; ++i) {
        const double x = std::round((2.90 + 0.05 * i) * 100) / 100;
        const double hfd = c.HFD(x);
        f.Anotar(En(x), hfd, static_cast<float>(hfd));
    }
    const std::string titulo = f.Titulo();
    SeparadoresUsuario = antes;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(titulo, m, std::regex(R"( - mejor foco 3,(\d\d))"))) << titulo;
    EXPECT_NEAR(3 + std::stod(m[1]) / 100, c.p, 0.05 / 4);
}
