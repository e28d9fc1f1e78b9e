#include <gtest/gtest.h>

#include <set>
#include <string>

#include "errors/equipment_errors.h"
#include "errors/messages.h"

namespace quorvane {
namespace {

// The documented texts, word for word: the equipment error table by code, then the texts the
// driver, the printer, the ports and the windows show.
TEST(MessageCatalogue, HoldsTheDocumentedTexts) {
    struct TCodeRow {
        int Code;
        TMessage Id;
        const char* Text;
    };
    const TCodeRow codes[] = {
        {0, TMessage::NoError, "Нет ошибок"},
        {70, TMessage::DeviceNotEnabled, "Устройство не включено"},
        {74, TMessage::WaitTimeoutExpired, "Истек таймаут ожидания"},
        {201, TMessage::CancelledByUser, "Операция отменена пользователем"},
        {1001, TMessage::UnknownError, "Неизвестная ошибка"},
        {1002, TMessage::CommandNotRecognized, "Команда не распознана устройством"},
        {1003, TMessage::CommandNotSupported, "Команда не поддерживается устройством"},
        {1004, TMessage::CommandParameterError, "Ошибка входных параметров команды"},
        {1005, TMessage::DeviceNotFoundOrNotInitialized, "Устройство не найдено или не проинициализировано"},
        {1006, TMessage::LibraryNotFound, "Библиотека не найдена"},
        {1007, TMessage::DeviceNotResponding, "Устройство не отвечает"},
        {1008, TMessage::EquipmentNotReady, "Оборудование не готово"},
        {1009, TMessage::DeviceBusy, "Устройство занято"},
        {1010, TMessage::WrongLibraryVersion, "Неверная версия библиотеки"},
        {1011, TMessage::PortUnavailable, "Порт недоступен"},
        {1012, TMessage::PortTakenByOtherApplication, "Порт занят другим приложением"},
        {1013, TMessage::DeviceNotFound, "Устройство не найдено"},
        {1014, TMessage::ExchangeProtocolError, "Ошибка протокола обмена"},
        {1015, TMessage::WrongCommandSequence, "Неверная последовательность команд"},
        {1016, TMessage::PortWriteError, "Ошибка при записи данных в порт"},
        {1017, TMessage::PortReadError, "Ошибка при чтении данных из порта"},
        {1018, TMessage::LibraryMethodCallError, "Ошибка при вызове метода библиотеки"},
        {1019, TMessage::SingleDeviceInstanceOnly,
         "Использование более одного экземпляра устройства одновременно невозможно"},
        {1020, TMessage::WrongDeviceParameters, "Неверные параметры устройства"},
    };
    for (const TCodeRow& row : codes) {
        EXPECT_EQ(EquipmentErrorMessage(row.Code), row.Id) << row.Code;
        EXPECT_STREQ(MessageText(row.Id), row.Text) << row.Code;
    }

    struct TRow {
        TMessage Id;
        const char* Text;
    };
    const TRow texts[] = {
        {TMessage::DriverName, "Драйвер принтера печати этикеток Tarvo"},
        {TMessage::DriverDescription,
         "Драйвер принтера печати этикеток Tarvo 1С:Совместимо для 1С:БПО NativeAPI"},
        {TMessage::AddInErrorSource, "Внешняя компонента"},
        {TMessage::PropertyNotFound, "Property not found: {0}"},
        {TMessage::PropertyReadOnly, "Property is read-only: {0}"},
        {TMessage::PropertyTypeUnacceptable, "Property type unacceptable"},
        {TMessage::ValueTypeUnacceptable, "Value type unacceptable"},
        {TMessage::EnumValueUnacceptable, "Enum value unacceptable"},
        {TMessage::NotAValidInteger, "'{0}' is not a valid integer value"},
        {TMessage::GeneratedParametersPage, "Параметры"},
        {TMessage::TwoDBarcodeAsPictureCaption, "Печать 2D штрихкода картинкой"},
        {TMessage::StatusCoverOpen, "Открыта крышка принтера"},
        {TMessage::StatusPaperJam, "Замятие бумаги в принтере"},
        {TMessage::StatusCoverOpenPaperJam, "Открыта крышка и замятие бумаги в принтере"},
        {TMessage::StatusPaperOut, "Закончилась бумага в принтере"},
        {TMessage::StatusPaperOutCoverOpen, "Закончилась бумага и открыта крышка принтера"},
        {TMessage::StatusRibbonOut, "Закончилась термолента"},
        {TMessage::StatusRibbonOutCoverOpen, "Закончилась термолента и открыта крышка принтера"},
        {TMessage::StatusRibbonOutPaperJam, "Закончилась термолента и замятие бумаги в принтере"},
        {TMessage::StatusRibbonOutPaperJamCoverOpen,
         "Закончилась термолента, замятие бумаги и открыта крышка принтера"},
        {TMessage::StatusRibbonAndPaperOut, "Закончилась термолента и бумага"},
        {TMessage::StatusRibbonAndPaperOutCoverOpen,
         "Закончилась термолента, закончилась бумага и открыта крышка принтера"},
        {TMessage::StatusPaused, "Принтер остановлен"},
        {TMessage::StatusPrinting, "Принтер в состоянии печати"},
        {TMessage::PrintingTimeout, "Превышено время ожидания окончания печати"},
        {TMessage::CheckCoverAndSupplies,
         "Проверьте, закрыта ли крышка принтера и наличие расходных материалов"},
        {TMessage::ScriptLogTitle, "Содержание скрипта"},
        {TMessage::LabelSizeInvalid, "Некорректно заданы размеры этикетки"},
        {TMessage::FieldNameEmpty, "Имя поля в шаблоне этикетки не может быть пустым"},
        {TMessage::FieldLeftMissing, "Не задана позиция левой границы поля по оси X"},
        {TMessage::FieldTopMissing, "Не задана позиция верхней границы поля по оси Y"},
        {TMessage::BarcodeInvalidCharacters, "Недопустимые символы во входных данных штрихкода"},
        {TMessage::ImageConversionFailed, "Ошибка преобразования входных данных изображения в Bitmap"},
        {TMessage::NoDataInBuffer, "Данные в буфере отсутствуют"},
        {TMessage::PortWriteShort, "Не удалось записать данные в порт"},
        {TMessage::PortNotOpen, "Порт не открыт"},
        {TMessage::ComPortOpenFailed, "Ошибка открытия COM-порта"},
        {TMessage::PrinterNotConnected, "Принтер не подключен"},
        {TMessage::NoPaper, "Нет бумаги"},
        {TMessage::WrongDeviceIndex, "Ошибка: \r\nНеверный индекс устройства"},
        {TMessage::IpAddressSyntax, "Синтаксическая ошибка в IP-адресе"},
        {TMessage::IpPortRange, "Номер порта должен лежать в диапазоне 1-65535"},
        {TMessage::SocketCreateFailed, "Ошибка при создании сокета"},
        {TMessage::ConnectFailed, "Ошибка при установлении подключения"},
        {TMessage::SendFailed, "Ошибка при отправке данных серверу"},
        {TMessage::ReceiveFailed, "Ошибка при получении ответа от сервера"},
        {TMessage::WinsockStartFailed, "Ошибка инициализации библиотеки WinSock"},
        {TMessage::WinsockCleanupFailed, "WSACleanup"},
        {TMessage::LogViewerCaption, "Просмотр лога"},
        {TMessage::HelpCaption, "Справка"},
        {TMessage::DocumentCaption, "Документ"},
    };
    for (const TRow& row : texts) EXPECT_STREQ(MessageText(row.Id), row.Text);
    EXPECT_EQ(Message(TMessage::UsbPrinterChoiceOnDevice, "Orvel MX", "usb-lp0"),
              "Принтер Orvel MX на usb-lp0");
}

// Each text once (no second copy of a text under another id), none empty, and the arguments
// numbered from {0} without a gap.
TEST(MessageCatalogue, TextsAreUniqueAndNumberTheirArguments) {
    std::set<std::string> seen;
    for (std::size_t i = 0; i < detail::kMessageCount; ++i) {
        const auto id = static_cast<TMessage>(i);
        const std::string text = MessageText(id);
        EXPECT_FALSE(text.empty()) << i;
        EXPECT_TRUE(seen.insert(text).second) << "twice: " << text;
        for (std::size_t n = 0; n < MessageArity(id); ++n)
            EXPECT_NE(text.find("{" + std::to_string(n) + "}"), std::string::npos)
                << text << " lacks {" << n << "}";
    }
}

TEST(MessageCatalogue, FillsArgumentsOnceInTheirPlaces) {
    // Numbers in decimal, a char as itself, arguments in the order the text names them, and
    // braces inside an argument left alone.
    EXPECT_EQ(Message(TMessage::FieldSizeNegative, "{1}", "Width", "Text", -3),
              "Размер поля \"{1}\" не может быть отрицательным: атрибут Width элемента Text равен -3");
    EXPECT_EQ(Message(TMessage::FieldOfLabel, "{0}", 'x', 2), "поле «{0}» (x), этикетка 2");
    EXPECT_EQ(Message(TMessage::LabelsSent, std::size_t{2}, 5u), "Отправлено на принтер этикеток: 2 из 5.");
}

TEST(MessageCatalogue, FailuresCarryTheirId) {
    const TMessageError filled(TMessage::CodePageNotSupported, 437);
    EXPECT_EQ(filled.Id(), TMessage::CodePageNotSupported);
    EXPECT_STREQ(filled.what(), "Кодовая страница 437 не поддерживается");

    const TMessageError detailed = TMessageError::WithText(TMessage::ConnectFailed, "в подробностях");
    EXPECT_EQ(detailed.Id(), TMessage::ConnectFailed);
    EXPECT_STREQ(detailed.what(), "в подробностях");

    try {
        throw EquException(1001, TMessage::SendFailed, "текст");
    } catch (const TMessageError& e) {
        EXPECT_EQ(e.Id(), TMessage::SendFailed);
        EXPECT_EQ(dynamic_cast<const EquException&>(e).Code, 1001);
    }
}

TEST(EquipmentErrorText, CodesDescriptionsAndDefaults) {
    EXPECT_EQ(EquipmentErrorText(1011, "", ""), MessageText(TMessage::PortUnavailable));
    EXPECT_EQ(EquipmentErrorText(5, "", ""), MessageText(TMessage::UnknownError));
    EXPECT_EQ(EquipmentErrorText(5, "", "своё"), "своё");
    EXPECT_EQ(EquipmentErrorText(1011, "занят", ""), "занят");
    EXPECT_EQ(EquipmentErrorText(0, "занят", ""), MessageText(TMessage::NoError));
    EXPECT_EQ(EquipmentErrorMessage(5), std::nullopt);
}

}  // namespace
}  // namespace quorvane
