#pragma once
// The one place where the program's Windows-1252 bytes meet Qt's Unicode strings.

#include <QString>
#include <string>

class QLineEdit;

QString Q(const std::string& cp1252);
std::string W(const QString& text);
bool FitsCp1252(const QString& text);
// Makes the edit refuse, as they are typed or pasted, characters Windows-1252 cannot hold (they
// would otherwise reach the server as '?', a wildcard) and control characters; also sets the
// maximum length.
void RestrictToCp1252(QLineEdit* edit, int maxLength = 0);
