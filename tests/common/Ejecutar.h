// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A command-line program run as a user runs it, without a shell: its exit status and what it
// wrote on each output.
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

struct Resultado {
    int estado;
    std::string salida, errores;
};

inline std::string Leer(const std::string& ruta) {
    std::ifstream f(ruta, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// Runs a program in the scratch folder with its standard output to a file of the folder, or to
// `destino` when given; the environment adds `entorno` to the test's, in the "C" locale by
// default.
inline Resultado Ejecutar(const std::filesystem::path& carpeta, const char* programa,
                          const std::vector<std::string>& argumentos,
                          const std::string& destino = "",
                          const std::vector<std::string>& entorno = {"LC_ALL=C"}) {
    const std::string out = destino.empty() ? (carpeta / "out").string() : destino;
    const std::string err = (carpeta / "err").string();
    const pid_t hijo = ::fork();
    if (hijo == 0) {
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (o < 0 || e < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0 ||
            ::chdir(carpeta.c_str()) != 0) // a relative name stays in the scratch folder
            ::_exit(127);
        for (const std::string& v : entorno) ::putenv(const_cast<char*>(v.c_str()));
        std::vector<char*> argv{const_cast<char*>(programa)};
        for (const std::string& a : argumentos) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(programa, argv.data());
        ::_exit(127);
    }
    int r = 0;
    ::waitpid(hijo, &r, 0);
    return {WIFEXITED(r) ? WEXITSTATUS(r) : -1, destino.empty() ? Leer(out) : "", Leer(err)};
}
