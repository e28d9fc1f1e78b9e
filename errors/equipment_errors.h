#pragma once

#include <map>
#include <stdexcept>
#include <string>

namespace quorvane {

// A failure that carries an error code of the equipment-driver standard.
class EquException : public std::runtime_error {
public:
    EquException(int code, const std::string& message) : std::runtime_error(message), Code(code) {}
    int Code;
};

namespace detail {

// The general rows of the standard's table; the rows of other device classes are never
// produced by a label printer and are left out.
inline const std::map<int, std::string>& ErrorTable() {
    static const std::map<int, std::string> table = {
        {0, "Нет ошибок"},
        {70, "Устройство не включено"},
        {74, "Истек таймаут ожидания"},
        {201, "Операция отменена пользователем"},
        {1001, "Неизвестная ошибка"},
        {1002, "Команда не распознана устройством"},
        {1003, "Команда не поддерживается устройством"},
        {1004, "Ошибка входных параметров команды"},
        {1005, "Устройство не найдено или не проинициализировано"},
        {1006, "Библиотека не найдена"},
        {1007, "Устройство не отвечает"},
        {1008, "Оборудование не готово"},
        {1009, "Устройство занято"},
        {1010, "Неверная версия библиотеки"},
        {1011, "Порт недоступен"},
        {1012, "Порт занят другим приложением"},
        {1013, "Устройство не найдено"},
        {1014, "Ошибка протокола обмена"},
        {1015, "Неверная последовательность команд"},
        {1016, "Ошибка при записи данных в порт"},
        {1017, "Ошибка при чтении данных из порта"},
        {1018, "Ошибка при вызове метода библиотеки"},
        {1019, "Использование более одного экземпляра устройства одновременно невозможно"},
        {1020, "Неверные параметры устройства"},
    };
    return table;
}

}  // namespace detail

// The standard's text for `code`; `description` wins when given with a non-zero code,
// `fallback` answers codes outside the table (else "Неизвестная ошибка").
// Header-only, below both the transport and the driver, which report with these codes.
inline std::string EquipmentErrorText(int code, const std::string& description = {},
                                      const std::string& fallback = {}) {
    if (!description.empty() && code != 0) return description;
    const auto& table = detail::ErrorTable();
    if (auto it = table.find(code); it != table.end()) return it->second;
    if (!fallback.empty()) return fallback;
    return table.at(1001);
}

}  // namespace quorvane
