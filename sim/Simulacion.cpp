// SPDX-License-Identifier: GPL-3.0-or-later
#include "Simulacion.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>

namespace {

uint16_t Cuenta(double senal, std::normal_distribution<double>& normal, std::mt19937_64& azar,
               double pedestal = 0, double techo = 65535) {
    const double v =
        senal + normal(azar) * std::sqrt(RuidoLectura * RuidoLectura + senal / Ganancia);
    return static_cast<uint16_t>(std::clamp(double(std::lround(v + pedestal)), 0.0, techo));
}

// The counts of a whole frame's signal, in the order of the pixels.
std::vector<uint16_t> Contar(const std::vector<double>& senal, std::mt19937_64& azar,
                             double pedestal = 0, double techo = 65535) {
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<uint16_t> cuentas(senal.size());
    for (size_t i = 0; i < senal.size(); ++i)
        cuentas[i] = Cuenta(senal[i], normal, azar, pedestal, techo);
    return cuentas;
}

// The share of the light the filter over pixel (x, y) lets through.
double Filtro(const TEscena& e, int x, int y) {
    const char c = e.mosaico[size_t(y % 2 * 2 + x % 2)];
    return e.respuesta[c == 'R' ? 0 : c == 'G' ? 1 : 2];
}

// Moffat's alpha for this FWHM.
double AlfaMoffat(double fwhm, double beta) {
    return fwhm / (2 * std::sqrt(std::pow(2.0, 1 / beta) - 1));
}

// The share of a unit flux centred at c that falls on pixels first .. first + n - 1.
std::vector<double> Perfil(double c, double sigma, int primero, int n) {
    std::vector<double> p(static_cast<size_t>(n));
    const double k = 1 / (sigma * std::sqrt(2.0));
    for (int i = 0; i < n; ++i) {
        const double x = primero + i - c;
        p[static_cast<size_t>(i)] = 0.5 * (std::erf((x + 0.5) * k) - std::erf((x - 0.5) * k));
    }
    return p;
}

} // namespace

double SigmaSerie(int i, int n, double sigmaMin, double sigmaMax) {
    const double t = n > 1 ? static_cast<double>(i) / (n - 1) : 0.5;
    return sigmaMin + (sigmaMax - sigmaMin) * std::fabs(2 * t - 1);
}

std::vector<uint16_t> ExponerEstrella(int ancho, int alto, double sigmaMin, double sigma, double cx,
                                      double cy, std::mt19937_64& azar) {
    const double flujo = 2 * M_PI * sigmaMin * sigmaMin * 50000.0;
    const double amplitud = flujo / (2 * M_PI * sigma * sigma);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<uint16_t> cuentas(static_cast<size_t>(ancho) * alto);
    const int r = static_cast<int>(std::ceil(6 * sigma));
    for (int y = 0; y < alto; ++y) {
        for (int x = 0; x < ancho; ++x) {
            double senal = FondoCielo;
            if (std::abs(x - cx) <= r && std::abs(y - cy) <= r)
                senal += amplitud * std::exp(-((x - cx) * (x - cx) + (y - cy) * (y - cy)) /
                                             (2 * sigma * sigma));
            cuentas[static_cast<size_t>(y) * ancho + x] = Cuenta(senal, normal, azar);
        }
    }
    return cuentas;
}

TEscena CrearEscena(int ancho, int alto, int estrellas, double sigmaMin, std::mt19937_64& azar) {
    TEscena e;
    e.ancho = ancho;
    e.alto = alto;
    e.sigmaMin = sigmaMin;
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int k = 0; k < estrellas; ++k) {
        const double x = u(azar) * ancho, y = u(azar) * alto;
        e.estrellas.push_back({x, y, 1500 * std::pow(100.0, u(azar))});
    }
    std::uniform_int_distribution<int> px(0, ancho - 1), py(0, alto - 1);
    for (int k = 0; k < 3 + estrellas / 10; ++k) {
        const int x = px(azar), y = py(azar);
        e.calientes.push_back({x, y, 2000 + 38000 * u(azar)});
    }
    return e;
}

std::vector<uint16_t> ExponerCampo(const TEscena& escena, double sigmaCampo, std::mt19937_64& azar,
                                   double inclinacion) {
    return ExponerCampo(
        escena, [&](double x, double) { return sigmaCampo * (1 + inclinacion * x / escena.ancho); },
        azar);
}

double MejorFocoEn(const TPlanoSimulado& plano, double x, double y, int ancho, int alto) {
    const double u = (x + 0.5) / ancho - 0.5, v = (y + 0.5) / alto - 0.5;
    const double r2 = (u * u * ancho * ancho + v * v * alto * alto) /
                      (0.25 * (static_cast<double>(ancho) * ancho + static_cast<double>(alto) * alto));
    return plano.centro + plano.inclinacionX * u + plano.inclinacionY * v + plano.curvatura * r2;
}

std::vector<uint16_t> ExponerCampo(const TEscena& escena, const TSigmaEn& sigmaEn,
                                   std::mt19937_64& azar) {
    const int w = escena.ancho, h = escena.alto;
    struct Huella {
        int x0, y0;
        std::vector<double> fx, fy; // flux times the share of each column, share of each row
    };
    std::vector<Huella> huellas;
    for (const TEstrellaSimulada& s : escena.estrellas) {
        const double sigma = sigmaEn(s.x, s.y);
        // Each star's light reaches 6 sigma from its centre: past that it is below 1e-8 of it.
        const int r = static_cast<int>(std::ceil(6 * sigma));
        const double flujo = 2 * M_PI * escena.sigmaMin * escena.sigmaMin * s.amplitud;
        Huella hu{static_cast<int>(std::floor(s.x)) - r, static_cast<int>(std::floor(s.y)) - r,
                  Perfil(s.x, sigma, static_cast<int>(std::floor(s.x)) - r, 2 * r + 2),
                  Perfil(s.y, sigma, static_cast<int>(std::floor(s.y)) - r, 2 * r + 2)};
        for (double& f : hu.fx) f *= flujo;
        huellas.push_back(std::move(hu));
    }

    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<uint16_t> cuentas(static_cast<size_t>(w) * h);
    std::vector<double> fila(static_cast<size_t>(w));
    for (int y = 0; y < h; ++y) {
        std::fill(fila.begin(), fila.end(), FondoCielo);
        for (const Huella& hu : huellas) {
            const int j = y - hu.y0;
            if (j < 0 || j >= static_cast<int>(hu.fy.size())) continue;
            const double fy = hu.fy[static_cast<size_t>(j)];
            for (size_t i = 0; i < hu.fx.size(); ++i) {
                const int x = hu.x0 + static_cast<int>(i);
                if (x >= 0 && x < w) fila[static_cast<size_t>(x)] += hu.fx[i] * fy;
            }
        }
        for (const TPixelCaliente& c : escena.calientes)
            if (c.y == y) fila[static_cast<size_t>(c.x)] += c.exceso;
        for (int x = 0; x < w; ++x)
            cuentas[static_cast<size_t>(y) * w + x] =
                Cuenta(fila[static_cast<size_t>(x)], normal, azar);
    }
    return cuentas;
}

namespace {

// The light of a star image at offset (dx, dy) from its centre, per unit area, before
// normalisation (rings are normalised over their stamp).
struct TPsf {
    const TEscena& e;
    const TFoco& f;
    double ax, ay;  // Moffat's alphas
    double radio() const { // past it, less than 1e-3 of the light
        if (f.radioAnillo > 0) return f.radioAnillo + 5 * f.sigmaX + 2;
        const double s = std::max(f.sigmaX, f.sigmaY);
        return e.perfil == TPerfil::Moffat ? 12 * 2.3548 * s + 2 : 6 * s + 2;
    }
    // Inside the pupil, with its vanes and uneven light: relative brightness.
    double pupila(double dx, double dy) const {
        const double R = f.radioAnillo, r = std::hypot(dx, dy);
        if (r > R || r < e.obstruccion * R) return 0;
        const double media = std::max(0.5, 0.03 * R); // half the width of a vane's shadow
        if (e.aranas >= 2 && std::fabs(dy) < media) return 0;
        if (e.aranas >= 4 && std::fabs(dx) < media) return 0;
        return 1 + e.desigualdad * std::cos(std::atan2(dy, dx) - 0.7);
    }
    double moffat(double dx, double dy) const {
        const double u = (dx / ax) * (dx / ax) + (dy / ay) * (dy / ay);
        return (e.beta - 1) / (M_PI * ax * ay) * std::pow(1 + u, -e.beta);
    }
};

// The image of a focus in a scene; a Moffat profile has the FWHM of the Gaussian of the same
// sigmas.
TPsf Psf(const TEscena& e, const TFoco& f) {
    return {e, f, AlfaMoffat(2.3548 * f.sigmaX, e.beta), AlfaMoffat(2.3548 * f.sigmaY, e.beta)};
}

// A unit-flux image centred at (cx, cy) on the pixels of [x0, x0 + n) x [y0, y0 + n).
std::vector<double> Sello(const TPsf& p, double cx, double cy, int x0, int y0, int n) {
    std::vector<double> s(static_cast<size_t>(n) * n, 0.0);
    const auto en = [&](int i, int j) -> double& { return s[static_cast<size_t>(j) * n + i]; };
    if (p.f.radioAnillo <= 0 && p.e.perfil == TPerfil::Gauss) {
        const auto fx = Perfil(cx, p.f.sigmaX, x0, n), fy = Perfil(cy, p.f.sigmaY, y0, n);
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i)
                en(i, j) = fx[static_cast<size_t>(i)] * fy[static_cast<size_t>(j)];
        return s;
    }
    const bool anillo = p.f.radioAnillo > 0;
    const double pendiente = anillo ? 1e9 : 3 * 2.3548 * std::max(p.f.sigmaX, p.f.sigmaY);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const double dx = x0 + i - cx, dy = y0 + j - cy;
            const int m = std::hypot(dx, dy) < pendiente + 2 ? 4 : 1;
            double suma = 0;
            for (int b = 0; b < m; ++b)
                for (int a = 0; a < m; ++a) {
                    const double u = dx + (a + 0.5) / m - 0.5, v = dy + (b + 0.5) / m - 0.5;
                    suma += anillo ? p.pupila(u, v) : p.moffat(u, v);
                }
            en(i, j) = suma / (m * m);
        }
    if (!anillo) return s;
    // The ring, normalised and then blurred by the seeing (a sampled Gaussian, both axes).
    double total = 0;
    for (const double v : s) total += v;
    if (total <= 0) return s;
    const double sg = p.f.sigmaX;
    const int k = static_cast<int>(std::ceil(4 * sg));
    std::vector<double> nucleo(static_cast<size_t>(2 * k + 1));
    double nk = 0;
    for (int t = -k; t <= k; ++t) nk += nucleo[static_cast<size_t>(t + k)] = std::exp(-t * t / (2 * sg * sg));
    std::vector<double> tmp(s.size(), 0.0);
    for (int pasada = 0; pasada < 2; ++pasada) {
        std::fill(tmp.begin(), tmp.end(), 0.0);
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                double v = 0;
                for (int t = -k; t <= k; ++t) {
                    const int ii = pasada == 0 ? i + t : i, jj = pasada == 0 ? j : j + t;
                    if (ii >= 0 && ii < n && jj >= 0 && jj < n)
                        v += s[static_cast<size_t>(jj) * n + ii] * nucleo[static_cast<size_t>(t + k)];
                }
                tmp[static_cast<size_t>(j) * n + i] = v / (nk * total);
            }
        s.swap(tmp);
        total = 1;
    }
    return s;
}

// The lumpy overcast over the signal: white noise smoothed by a Gaussian of sigma escalaNubes
// (separably, to 3 sigma, the frame reflected at its edges), scaled to nubes / 3 rms, on nubes
// counts.
void AnadirNubes(const TEscena& e, std::vector<double>& senal, std::mt19937_64& azar) {
    const int w = e.ancho, h = e.alto, k = static_cast<int>(std::ceil(3 * e.escalaNubes));
    std::vector<double> nucleo(static_cast<size_t>(2 * k + 1));
    double cuadrados = 0;
    for (int t = -k; t <= k; ++t) {
        const double v = std::exp(-t * t / (2 * e.escalaNubes * e.escalaNubes));
        nucleo[static_cast<size_t>(t + k)] = v;
        cuadrados += v * v;
    }
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<double> campo(static_cast<size_t>(w) * h), tmp(campo.size());
    for (double& v : campo) v = normal(azar);
    const auto reflejar = [](int u, int n) { return std::clamp(u < 0 ? -u - 1 : u >= n ? 2 * n - u - 1 : u, 0, n - 1); };
    for (int pasada = 0; pasada < 2; ++pasada) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                double v = 0;
                for (int t = -k; t <= k; ++t) {
                    const size_t i = pasada == 0 ? static_cast<size_t>(y) * w + reflejar(x + t, w)
                                                 : static_cast<size_t>(reflejar(y + t, h)) * w + x;
                    v += nucleo[static_cast<size_t>(t + k)] * campo[i];
                }
                tmp[static_cast<size_t>(y) * w + x] = v;
            }
        campo.swap(tmp);
    }
    // Each pass multiplies the variance by cuadrados.
    const double escala = e.nubes / 3 / cuadrados;
    for (size_t i = 0; i < senal.size(); ++i) senal[i] += std::max(0.0, e.nubes + escala * campo[i]);
}

} // namespace

std::vector<uint16_t> ExponerCampo(const TEscena& e, const TFoco& f, std::mt19937_64& azar) {
    if (f.radioAnillo <= 0 && e.perfil == TPerfil::Gauss && f.sigmaX == f.sigmaY &&
        e.gradiente == 0 && e.vineteo == 0 && e.nebulosa == 0 && e.luna == 0 && e.rayos == 0 &&
        e.nubes == 0 &&
        e.rellenoFilas == 0 && e.rellenoColumnas == 0 && e.mosaico.empty() && e.pedestal == 0 &&
        e.saturacion >= 65535)
        return ExponerCampo(e, f.sigmaX, azar); // the plain field, as it always was
    const int w = e.ancho, h = e.alto;
    const double cx = w / 2.0, cy = h / 2.0, esquina = std::hypot(cx, cy);
    const auto vineta = [&](double x, double y) {
        const double r = std::hypot(x - cx, y - cy) / esquina;
        return 1 - e.vineteo * r * r;
    };
    // The moon: a disk over a third of the frame, hiding the stars behind it, and its glow.
    const double radioLuna = std::sqrt(w * double(h) / (3 * M_PI)), lx = 0.3 * w, ly = 0.5 * h;
    std::vector<double> senal(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double v = FondoCielo * (1 + e.gradiente * x / w) * vineta(x, y);
            if (e.nebulosa > 0) {
                const double a = (x - 0.22 * w) / (0.16 * w), b = (y - 0.5 * h) / (0.3 * h);
                const double c = (x - 0.3 * w) / (0.05 * w), d = (y - 0.35 * h) / (0.08 * h);
                v += e.nebulosa * (std::exp(-0.5 * (a * a + b * b)) + 0.4 * std::exp(-0.5 * (c * c + d * d)));
            }
            if (e.luna > 0) {
                const double d = std::hypot(x - lx, y - ly) - radioLuna;
                v += d < 0 ? e.luna * std::min(1.0, -d / 3 + 0.5) : 0.1 * e.luna * std::exp(-d / (0.1 * radioLuna));
            }
            senal[static_cast<size_t>(y) * w + x] = v;
        }
    if (e.nubes > 0) AnadirNubes(e, senal, azar);
    const TPsf p = Psf(e, f);
    const int r = static_cast<int>(std::ceil(p.radio()));
    for (const TEstrellaSimulada& s : e.estrellas) {
        if (e.luna > 0 && std::hypot(s.x - lx, s.y - ly) < radioLuna) continue;
        const double flujo = 2 * M_PI * e.sigmaMin * e.sigmaMin * s.amplitud * vineta(s.x, s.y);
        const int x0 = static_cast<int>(std::floor(s.x)) - r, y0 = static_cast<int>(std::floor(s.y)) - r;
        const int n = 2 * r + 2;
        const std::vector<double> sello = Sello(p, s.x, s.y, x0, y0, n);
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const int x = x0 + i, y = y0 + j;
                if (x >= 0 && y >= 0 && x < w && y < h)
                    senal[static_cast<size_t>(y) * w + x] += flujo * sello[static_cast<size_t>(j) * n + i];
            }
    }
    if (e.mosaico.size() == 4)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) senal[static_cast<size_t>(y) * w + x] *= Filtro(e, x, y);
    for (const TPixelCaliente& c : e.calientes)
        senal[static_cast<size_t>(c.y) * w + c.x] += c.exceso;
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int k = 0; k < e.rayos; ++k) {
        // A straight streak, one pixel wide, 3 to 40 pixels long.
        const double x = u(azar) * w, y = u(azar) * h, ang = u(azar) * M_PI;
        const double largo = 3 + 37 * u(azar), brillo = 2000 + 28000 * u(azar);
        for (double t = 0; t <= largo; t += 0.5) {
            const long px = std::lround(x + t * std::cos(ang)), py = std::lround(y + t * std::sin(ang));
            if (px >= 0 && py >= 0 && px < w && py < h)
                senal[static_cast<size_t>(py) * w + static_cast<size_t>(px)] += 0.5 * brillo;
        }
    }
    std::vector<uint16_t> cuentas = Contar(senal, azar, e.pedestal, e.saturacion);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (y < e.rellenoFilas || x >= w - e.rellenoColumnas)
                cuentas[static_cast<size_t>(y) * w + x] = 0;
    return cuentas;
}

double DiametroMediaLuz(const TEscena& e, const TFoco& f) {
    std::mt19937_64 azar(12345);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::normal_distribution<double> normal(0.0, 1.0);
    const TPsf p = Psf(e, f);
    std::vector<double> radios(200000);
    for (double& r : radios) {
        double dx = 0, dy = 0;
        if (f.radioAnillo > 0) {
            // A point of the pupil, by rejection, then the seeing.
            const double techo = 1 + e.desigualdad;
            do {
                const double rr = f.radioAnillo * std::sqrt(u(azar)), a = 2 * M_PI * u(azar);
                dx = rr * std::cos(a), dy = rr * std::sin(a);
            } while (u(azar) * techo >= p.pupila(dx, dy));
            dx += f.sigmaX * normal(azar), dy += f.sigmaX * normal(azar);
        } else if (e.perfil == TPerfil::Moffat) {
            const double rr = std::sqrt(std::pow(1 - u(azar), 1 / (1 - e.beta)) - 1);
            const double a = 2 * M_PI * u(azar);
            dx = rr * std::cos(a) * p.ax, dy = rr * std::sin(a) * p.ay;
        } else {
            dx = f.sigmaX * normal(azar), dy = f.sigmaY * normal(azar);
        }
        r = std::hypot(dx + u(azar) - 0.5, dy + u(azar) - 0.5);
    }
    const auto m = radios.begin() + static_cast<std::ptrdiff_t>(radios.size() / 2);
    std::nth_element(radios.begin(), m, radios.end());
    return 2 * *m;
}

void AnadirCalientes(TEscena& e, int n, std::mt19937_64& azar) {
    if (n <= 0 || e.ancho < 4 || e.alto < 4) return;
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::uniform_int_distribution<int> px(1, e.ancho - 3), py(1, e.alto - 3);
    const int vx[] = {1, 0, 1, -1}, vy[] = {0, 1, 1, 1}; // the neighbours a cluster grows to
    for (int k = 0; k < n;) {
        const int x = px(azar), y = py(azar);
        const double q = u(azar);
        const int tamano = q < 0.8 ? 1 : q < 0.92 ? 2 : 3 + (u(azar) < 0.5);
        for (int m = 0; m < tamano && k < n; ++m, ++k) {
            const int d = m == 0 ? -1 : static_cast<int>(u(azar) * 4);
            e.calientes.push_back({d < 0 ? x : x + vx[d], d < 0 ? y : y + vy[d],
                                   100 * std::pow(400.0, u(azar))});
        }
    }
}

void AnadirParejas(TEscena& e, double parte, double sigmaMax, std::mt19937_64& azar) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const size_t n = e.estrellas.size();
    for (size_t k = 0; k < n; ++k) {
        if (u(azar) >= parte) continue;
        const TEstrellaSimulada s = e.estrellas[k];
        const double d = (1.5 + 2.5 * u(azar)) * sigmaMax, a = 2 * M_PI * u(azar);
        const double x = s.x + d * std::cos(a), y = s.y + d * std::sin(a);
        if (x >= 0 && y >= 0 && x < e.ancho && y < e.alto)
            e.estrellas.push_back({x, y, s.amplitud * (0.2 + 0.8 * u(azar))});
    }
}

TSubcuadro ElegirSubcuadro(const TEscena& escena, int lado, double sigmaMax) {
    TSubcuadro mejor;
    mejor.lado = lado;
    const double margen = 5 * sigmaMax;
    for (size_t k = 0; k < escena.estrellas.size(); ++k) {
        const TEstrellaSimulada& s = escena.estrellas[k];
        // 40000 above the sky stays clear of the window's saturation level of 60000 with
        // any noise.
        if (s.amplitud > 40000) continue;
        const int x0 = static_cast<int>(std::floor(s.x)) - lado / 2;
        const int y0 = static_cast<int>(std::floor(s.y)) - lado / 2;
        if (x0 < 0 || y0 < 0 || x0 + lado > escena.ancho || y0 + lado > escena.alto) continue;
        const auto cerca = [&](double x, double y) {
            return x > x0 - margen && x < x0 + lado + margen && y > y0 - margen &&
                   y < y0 + lado + margen;
        };
        bool aislada = true;
        for (size_t m = 0; m < escena.estrellas.size() && aislada; ++m)
            aislada = m == k || !cerca(escena.estrellas[m].x, escena.estrellas[m].y);
        for (const TPixelCaliente& c : escena.calientes) aislada = aislada && !cerca(c.x, c.y);
        if (aislada &&
            (mejor.estrella < 0 ||
             s.amplitud > escena.estrellas[static_cast<size_t>(mejor.estrella)].amplitud))
            mejor = {x0, y0, lado, static_cast<int>(k)};
    }
    return mejor;
}

std::vector<uint16_t> Recorte(const std::vector<uint16_t>& cuentas, int ancho,
                              const TSubcuadro& s) {
    std::vector<uint16_t> r;
    r.reserve(static_cast<size_t>(s.lado) * s.lado);
    for (int y = s.y0; y < s.y0 + s.lado; ++y) {
        const auto fila = cuentas.begin() + static_cast<std::ptrdiff_t>(y) * ancho + s.x0;
        r.insert(r.end(), fila, fila + s.lado);
    }
    return r;
}

double SigmaHiperbola(double x, double p, double b, double sigmaMin) {
    const double u = (x - p) / b;
    return sigmaMin * std::sqrt(1 + u * u);
}

std::vector<uint16_t> ExponerPerfiles(int ancho, int alto,
                                      const std::vector<TEstrellaPerfil>& estrellas, double beta,
                                      std::mt19937_64& azar) {
    std::vector<double> senal(static_cast<size_t>(ancho) * alto, FondoCielo);
    for (const TEstrellaPerfil& s : estrellas) {
        // Profile I(r) = I0 · f(r²), its integral over the plane flujo. A Moffat profile's
        // wings fall below 1e-4 of its peak at 6 FWHM for beta 2.5; a Gaussian's far sooner.
        std::function<double(double)> f;
        double area;
        if (beta > 0) {
            const double alfa = AlfaMoffat(s.fwhm, beta);
            f = [alfa, beta](double r2) { return std::pow(1 + r2 / (alfa * alfa), -beta); };
            area = M_PI * alfa * alfa / (beta - 1);
        } else {
            const double sigma = s.fwhm / 2.3548200450309493;
            f = [sigma](double r2) { return std::exp(-r2 / (2 * sigma * sigma)); };
            area = 2 * M_PI * sigma * sigma;
        }
        const double pico = s.flujo / area, r = 6 * s.fwhm;
        for (int y = std::max(0, static_cast<int>(s.y - r));
             y <= std::min(alto - 1, static_cast<int>(s.y + r)); ++y)
            for (int x = std::max(0, static_cast<int>(s.x - r));
                 x <= std::min(ancho - 1, static_cast<int>(s.x + r)); ++x)
                senal[static_cast<size_t>(y) * ancho + x] +=
                    pico * f((x - s.x) * (x - s.x) + (y - s.y) * (y - s.y));
    }
    return Contar(senal, azar);
}
