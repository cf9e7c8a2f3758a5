#include "usercommands.h"

#include "httpoptions.h"
#include "serverlog.h"
#include "useraccounts.h"

#include <QTextStream>

#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace appserver {

int UserCommands::add(const HttpOptions& http)
{
    // Typed at a terminal, the password is not echoed, and it is asked twice: a typo would lock the user out.
    termios saved{};
    const bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
    QTextStream in(stdin);
    const auto ask = [&](const char* prompt) {
        if (terminal) {
            termios quiet = saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
            std::fprintf(stderr, prompt, http.addUser.toUtf8().constData());
        }
        const QByteArray answer = in.readLine().toUtf8();
        if (terminal) {
            tcsetattr(STDIN_FILENO, TCSANOW, &saved);
            std::fprintf(stderr, "\n");
        }
        return answer;
    };
    const QByteArray password = ask("Senha de %s: ");
    if (terminal && ask("Repita a senha de %s: ") != password) {
        ServerLog::fail(QStringLiteral("As duas senhas não são iguais; nada foi gravado."));
        return 1;
    }
    QString error;
    if (!UserAccounts::addUser(http.users, http.addUser, password, error)) {
        ServerLog::fail(error);
        return 1;
    }
    std::fprintf(stderr, "kpd-appserver: usuário %s gravado em %s\n", http.addUser.toUtf8().constData(),
                 http.users.toUtf8().constData());
    return 0;
}

int UserCommands::remove(const HttpOptions& http)
{
    QString error;
    if (!UserAccounts::removeUser(http.users, http.removeUser, error)) {
        ServerLog::fail(error);
        return 1;
    }
    std::fprintf(stderr, "kpd-appserver: usuário %s retirado de %s\n", http.removeUser.toUtf8().constData(),
                 http.users.toUtf8().constData());
    return 0;
}

} // namespace appserver
