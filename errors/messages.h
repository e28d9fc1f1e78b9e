#pragma once

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

namespace quorvane {

// Every text a person sees: errors, printer states, document messages, window captions.
// A text takes its arguments at {0} to {9}, in any order.
enum class TMessage {
    // The equipment error table, by code.
    NoError,                         // 0
    DeviceNotEnabled,                // 70
    WaitTimeoutExpired,              // 74
    CancelledByUser,                 // 201
    UnknownError,                    // 1001
    CommandNotRecognized,            // 1002
    CommandNotSupported,             // 1003
    CommandParameterError,           // 1004
    DeviceNotFoundOrNotInitialized,  // 1005
    LibraryNotFound,                 // 1006
    DeviceNotResponding,             // 1007
    EquipmentNotReady,               // 1008
    DeviceBusy,                      // 1009
    WrongLibraryVersion,             // 1010
    PortUnavailable,                 // 1011
    PortTakenByOtherApplication,     // 1012
    DeviceNotFound,                  // 1013
    ExchangeProtocolError,           // 1014
    WrongCommandSequence,            // 1015
    PortWriteError,                  // 1016
    PortReadError,                   // 1017
    LibraryMethodCallError,          // 1018
    SingleDeviceInstanceOnly,        // 1019
    WrongDeviceParameters,           // 1020

    // The driver and its settings.
    DriverName,
    DriverDescription,
    UnknownInterfaceType,
    SettingValueInvalid,
    CodepageChoices,
    GeneratedParametersPage,
    TwoDBarcodeAsPictureCaption,
    UsbPrinterChoice,
    UsbPrinterChoiceOnDevice,
    AddInErrorSource,
    LogTextCut,

    // The host's calls: properties, values and their types.
    PropertyNotFound,
    PropertyReadOnly,
    PropertyTypeUnacceptable,
    ValueTypeUnacceptable,
    EnumValueUnacceptable,
    HostUnknownError,
    NotAValidInteger,

    // The printer's state before a label.
    StatusCoverOpen,
    StatusPaperJam,
    StatusCoverOpenPaperJam,
    StatusPaperOut,
    StatusPaperOutCoverOpen,
    StatusRibbonOut,
    StatusRibbonOutCoverOpen,
    StatusRibbonOutPaperJam,
    StatusRibbonOutPaperJamCoverOpen,
    StatusRibbonAndPaperOut,
    StatusRibbonAndPaperOutCoverOpen,
    StatusPaused,
    StatusPrinting,
    PrintingTimeout,
    CheckCoverAndSupplies,

    // Printing a job.
    ScriptLogTitle,
    RasterDataInLog,
    LabelsSent,

    // The label document.
    LabelSizeInvalid,
    FieldNameEmpty,
    FieldLeftMissing,
    FieldTopMissing,
    LabelSizeNotPositive,
    FieldSizeNegative,
    ResolutionInvalid,
    QuantityInvalid,
    DocumentElementMissing,
    FieldElement,
    NamelessElement,
    FieldOfLabel,
    FieldOfTemplate,
    FontSizeTooLarge,
    AttributeMissing,
    MarkingCodeNotGs1,
    BarcodeCannotBeBuilt,
    BarcodeLibraryRefused,
    DocumentNotXml,
    XmlParseError,
    XmlNulReference,
    XmlBadTag,
    XmlBadDeclaration,
    XmlBadComment,
    XmlBadCdata,
    XmlBadDoctype,
    XmlBadText,
    XmlBadStartTag,
    XmlBadAttribute,
    XmlBadEndTag,
    XmlTagMismatch,
    XmlNoElement,
    XmlBadRoot,
    XmlOutOfMemory,

    // Field data.
    BarcodeInvalidCharacters,
    BarcodeControlCharacter,
    ImageConversionFailed,
    RasterTooLarge,
    PictureTooLargeForField,
    CodePageNotSupported,
    DataMatrixSizeRaised,
    DataMatrixDataDoesNotFit,
    Gs1FieldLengthExact,
    Gs1FieldEmpty,
    Gs1FieldTooLong,
    Gs1DigitsOnly,
    Gs1BadCharacter,
    Gs1BadCheckDigit,
    Gs1UnknownAi,
    Gs1EmptyValue,

    // Ports and connections.
    NoDataInBuffer,
    PortWriteShort,
    PortNotOpen,
    PrinterNotConnected,
    NoPaper,
    WrongDeviceIndex,
    ComPortOpenFailed,
    ComPortNumberUnknown,
    PrinterNotTakingData,
    IpAddressSyntax,
    IpPortRange,
    SocketCreateFailed,
    ConnectFailed,
    SendFailed,
    ReceiveFailed,
    WinsockStartFailed,
    WinsockCleanupFailed,
    AddressNotGiven,
    BroadcastAddress,
    HostNameNotAddress,
    AddressNotIpv4,
    AddressLeadingZero,
    PrinterClosedConnection,
    NoAnswerWithin,
    ConnectNoAnswer,
    ReasonDeviceNotFound,
    ReasonDeviceUnplugged,
    ReasonNoAccess,
    ReasonDeviceBusy,
    ReasonConnectionRefused,
    ReasonTimedOut,
    ReasonUnreachable,
    ReasonConnectionReset,
    ReasonNotAPrinterDevice,
    AccessHint,

    // The help and log windows.
    HelpCaption,
    DocumentCaption,
    LogViewerCaption,
    OpenFolderButton,
    OpenFolderTooltip,
    NoLogFiles,
    FileReadFailed,
    FileOpenFailed,
    FolderOpenFailed,
    WindowCreateFailed,
    NoDisplay,
    ViewerMissing,
    ViewerStartFailedIn,
    ViewerStartFailed,
    ViewerKilled,
    ViewerExitCode,

    // Values no printer can take.
    BarcodeTypeUnknown,
    BarcodeLengthWrong,
    BarcodeDataTooLong,
    FieldNumberUnreadable,
    FieldOutsideLabel,
    OrientationInvalid,
    BorderWidthInvalid,

    // System reasons by errno, so that no reason reaches a person in English.
    SysNoSuchFile,
    SysNotADirectory,
    SysIsADirectory,
    SysReadOnlyFileSystem,
    SysNoSpace,
    SysQuotaExceeded,
    SysIoError,
    SysInvalidArgument,
    SysTryAgain,
    SysInterrupted,
    SysSymbolicLink,
    SysTooManyOpenFiles,
    SysOutOfMemory,
    SysFileExists,
    SysNameTooLong,
    SysBadDescriptor,
    SysNotSupported,
    SysNetworkDown,
    SysAddressNotAvailable,
    SysUnknown,

    // The driver log and the port choice.
    LogFolderUnusable,
    LogFileOpenFailed,
    LogFileLockFailed,
    LogFileWriteFailed,
    PortNotChosen,
    PrinterDidNotAnswer,
    ActionNotFound,

    // Characters a code page cannot carry.
    BarcodeCharacterNotInCodepage,
    CharacterSentAsQuestionMark,

    FindPlaceholder,
    FindNextTooltip,
    FindPreviousTooltip,
    HelpBackTooltip,
};

namespace detail {

struct TMessageRow {
    TMessage Id;
    const char* Text;
};

// In the order of TMessage (checked below).
inline constexpr TMessageRow kMessages[] = {
    {TMessage::NoError, "Нет ошибок"},
    {TMessage::DeviceNotEnabled, "Устройство не включено"},
    {TMessage::WaitTimeoutExpired, "Истек таймаут ожидания"},
    {TMessage::CancelledByUser, "Операция отменена пользователем"},
    {TMessage::UnknownError, "Неизвестная ошибка"},
    {TMessage::CommandNotRecognized, "Команда не распознана устройством"},
    {TMessage::CommandNotSupported, "Команда не поддерживается устройством"},
    {TMessage::CommandParameterError, "Ошибка входных параметров команды"},
    {TMessage::DeviceNotFoundOrNotInitialized, "Устройство не найдено или не проинициализировано"},
    {TMessage::LibraryNotFound, "Библиотека не найдена"},
    {TMessage::DeviceNotResponding, "Устройство не отвечает"},
    {TMessage::EquipmentNotReady, "Оборудование не готово"},
    {TMessage::DeviceBusy, "Устройство занято"},
    {TMessage::WrongLibraryVersion, "Неверная версия библиотеки"},
    {TMessage::PortUnavailable, "Порт недоступен"},
    {TMessage::PortTakenByOtherApplication, "Порт занят другим приложением"},
    {TMessage::DeviceNotFound, "Устройство не найдено"},
    {TMessage::ExchangeProtocolError, "Ошибка протокола обмена"},
    {TMessage::WrongCommandSequence, "Неверная последовательность команд"},
    {TMessage::PortWriteError, "Ошибка при записи данных в порт"},
    {TMessage::PortReadError, "Ошибка при чтении данных из порта"},
    {TMessage::LibraryMethodCallError, "Ошибка при вызове метода библиотеки"},
    {TMessage::SingleDeviceInstanceOnly,
     "Использование более одного экземпляра устройства одновременно невозможно"},
    {TMessage::WrongDeviceParameters, "Неверные параметры устройства"},

    {TMessage::DriverName, "Драйвер принтера печати этикеток Tarvo"},
    {TMessage::DriverDescription,
     "Драйвер принтера печати этикеток Tarvo 1С:Совместимо для 1С:БПО NativeAPI"},
    {TMessage::UnknownInterfaceType, "Неизвестный тип интерфейса: {0}"},
    {TMessage::SettingValueInvalid, "Некорректное значение настройки «{0}» ({1}): «{2}»; допустимо: {3}"},
    {TMessage::CodepageChoices, "{0}, а также номера кодовых страниц {1}"},
    {TMessage::GeneratedParametersPage, "Параметры"},
    {TMessage::TwoDBarcodeAsPictureCaption, "Печать 2D штрихкода картинкой"},
    {TMessage::UsbPrinterChoice, "Принтер {0}"},
    {TMessage::UsbPrinterChoiceOnDevice, "Принтер {0} на {1}"},
    {TMessage::AddInErrorSource, "Внешняя компонента"},
    {TMessage::LogTextCut, "… [обрезано до 64 КБ, полная длина {0} байт]"},

    {TMessage::PropertyNotFound, "Property not found: {0}"},
    {TMessage::PropertyReadOnly, "Property is read-only: {0}"},
    {TMessage::PropertyTypeUnacceptable, "Property type unacceptable"},
    {TMessage::ValueTypeUnacceptable, "Value type unacceptable"},
    {TMessage::EnumValueUnacceptable, "Enum value unacceptable"},
    {TMessage::HostUnknownError, "Unknown error"},
    {TMessage::NotAValidInteger, "'{0}' is not a valid integer value"},

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
    {TMessage::CheckCoverAndSupplies, "Проверьте, закрыта ли крышка принтера и наличие расходных материалов"},

    {TMessage::ScriptLogTitle, "Содержание скрипта"},
    {TMessage::RasterDataInLog, "<данные растра, {0} байт>"},
    {TMessage::LabelsSent, "Отправлено на принтер этикеток: {0} из {1}."},

    {TMessage::LabelSizeInvalid, "Некорректно заданы размеры этикетки"},
    {TMessage::FieldNameEmpty, "Имя поля в шаблоне этикетки не может быть пустым"},
    {TMessage::FieldLeftMissing, "Не задана позиция левой границы поля по оси X"},
    {TMessage::FieldTopMissing, "Не задана позиция верхней границы поля по оси Y"},
    {TMessage::LabelSizeNotPositive,
     "Размер этикетки должен быть больше нуля: атрибут {0} элемента Formatting равен {1}"},
    {TMessage::FieldSizeNegative,
     "Размер поля \"{0}\" не может быть отрицательным: атрибут {1} элемента {2} равен {3}"},
    {TMessage::ResolutionInvalid, "Некорректно задано разрешение принтера (Resolution): {0}"},
    {TMessage::QuantityInvalid, "Некорректно задано количество (Quantity) у этикетки №{0}: \"{1}\""},
    {TMessage::DocumentElementMissing, "В документе этикеток нет элемента {0}"},
    {TMessage::FieldElement, "элемент {0} «{1}»"},
    {TMessage::NamelessElement, "элемент {0} № {1} в Formatting"},
    {TMessage::FieldOfLabel, "поле «{0}» ({1}), этикетка {2}"},
    {TMessage::FieldOfTemplate, "поле «{0}» ({1}), шаблон этикетки"},
    {TMessage::FontSizeTooLarge, "Слишком большой размер шрифта (FontSize) у поля \"{0}\": {1}"},
    {TMessage::AttributeMissing, "нет атрибута {0}"},
    {TMessage::MarkingCodeNotGs1, "Код маркировки не является строкой элементов GS1 ({0}): {1}"},
    {TMessage::BarcodeCannotBeBuilt, "Штрихкод не может быть построен: {0}: {1}"},
    {TMessage::BarcodeLibraryRefused,
     "Библиотека штрихкодов не смогла построить код из этих данных ({0}): {1}"},
    {TMessage::DocumentNotXml, "Документ этикеток не является правильным XML: {0}, строка {1}, столбец {2}"},
    {TMessage::XmlParseError, "ошибка разбора"},
    {TMessage::XmlNulReference, "ссылка на символ с кодом 0 (&#0;), которого не может быть в XML"},
    {TMessage::XmlBadTag, "неверный тег (после «<» нет имени элемента)"},
    {TMessage::XmlBadDeclaration, "ошибка в объявлении XML или инструкции обработки «<?...?>»"},
    {TMessage::XmlBadComment, "ошибка в комментарии"},
    {TMessage::XmlBadCdata, "ошибка в разделе CDATA"},
    {TMessage::XmlBadDoctype, "ошибка в объявлении DOCTYPE"},
    {TMessage::XmlBadText, "ошибка в тексте элемента"},
    {TMessage::XmlBadStartTag, "ошибка в открывающем теге элемента"},
    {TMessage::XmlBadAttribute,
     "ошибка в атрибуте элемента (значение должно быть в кавычках, после имени — знак «=»)"},
    {TMessage::XmlBadEndTag, "ошибка в закрывающем теге элемента"},
    {TMessage::XmlTagMismatch, "закрывающий тег не соответствует открывающему"},
    {TMessage::XmlNoElement, "в документе нет ни одного элемента"},
    {TMessage::XmlBadRoot, "документ нельзя разместить в корне"},
    {TMessage::XmlOutOfMemory, "недостаточно памяти"},

    {TMessage::BarcodeInvalidCharacters, "Недопустимые символы во входных данных штрихкода"},
    {TMessage::BarcodeControlCharacter, "Недопустимый управляющий символ {0} в данных штрихкода (позиция {1})"},
    {TMessage::ImageConversionFailed, "Ошибка преобразования входных данных изображения в Bitmap"},
    {TMessage::RasterTooLarge,
     "Слишком большое изображение: {0} x {1} точек (допустимо не более {2} точек по стороне и {3} точек всего)"},
    {TMessage::PictureTooLargeForField,
     "Слишком большое изображение для поля {2} x {3} точек: {0} x {1} точек (допустимо не более {4} точек по "
     "стороне)"},
    {TMessage::CodePageNotSupported, "Кодовая страница {0} не поддерживается"},
    {TMessage::DataMatrixSizeRaised, "Размер DataMatrix увеличен с {0} до {1}"},
    {TMessage::DataMatrixDataDoesNotFit, "данные не помещаются в заданный размер"},
    {TMessage::Gs1FieldLengthExact, "поле {0} должно содержать {1} знаков, а содержит {2}"},
    {TMessage::Gs1FieldEmpty, "поле {0} пустое"},
    {TMessage::Gs1FieldTooLong, "поле {0} длиннее {1} знаков"},
    {TMessage::Gs1DigitsOnly, "в поле {0} допустимы только цифры (позиция {1})"},
    {TMessage::Gs1BadCharacter, "недопустимый знак в поле {0} (позиция {1})"},
    {TMessage::Gs1BadCheckDigit, "неверная контрольная цифра в поле {0}"},
    {TMessage::Gs1UnknownAi, "неизвестный идентификатор применения (AI) в позиции {0}"},
    {TMessage::Gs1EmptyValue, "пустое значение"},

    {TMessage::NoDataInBuffer, "Данные в буфере отсутствуют"},
    {TMessage::PortWriteShort, "Не удалось записать данные в порт"},
    {TMessage::PortNotOpen, "Порт не открыт"},
    {TMessage::PrinterNotConnected, "Принтер не подключен"},
    {TMessage::NoPaper, "Нет бумаги"},
    {TMessage::WrongDeviceIndex, "Ошибка: \r\nНеверный индекс устройства"},
    {TMessage::ComPortOpenFailed, "Ошибка открытия COM-порта"},
    {TMessage::ComPortNumberUnknown, "нет такого порта: допустимы номера 1-128"},
    {TMessage::PrinterNotTakingData, "принтер не принимает данные дольше {0} мс"},
    {TMessage::IpAddressSyntax, "Синтаксическая ошибка в IP-адресе"},
    {TMessage::IpPortRange, "Номер порта должен лежать в диапазоне 1-65535"},
    {TMessage::SocketCreateFailed, "Ошибка при создании сокета"},
    {TMessage::ConnectFailed, "Ошибка при установлении подключения"},
    {TMessage::SendFailed, "Ошибка при отправке данных серверу"},
    {TMessage::ReceiveFailed, "Ошибка при получении ответа от сервера"},
    {TMessage::WinsockStartFailed, "Ошибка инициализации библиотеки WinSock"},
    {TMessage::WinsockCleanupFailed, "WSACleanup"},
    {TMessage::AddressNotGiven, "адрес не задан"},
    {TMessage::BroadcastAddress, "\"{0}\" — широковещательный адрес не подходит"},
    {TMessage::HostNameNotAddress, "\"{0}\" — это имя узла, а нужен адрес IPv4 вида 192.168.1.10"},
    {TMessage::AddressNotIpv4, "\"{0}\" — нужен адрес IPv4 вида 192.168.1.10"},
    {TMessage::AddressLeadingZero, "\"{0}\" — число с ведущим нулём читается как восьмеричное; пишите {1}"},
    {TMessage::PrinterClosedConnection, "принтер закрыл подключение, не ответив"},
    {TMessage::NoAnswerWithin, "нет ответа за {0} мс"},
    {TMessage::ConnectNoAnswer, "нет ответа за {0} мс: принтер выключен, не в этой сети или адрес неверен"},
    {TMessage::ReasonDeviceNotFound, "устройство не найдено"},
    {TMessage::ReasonDeviceUnplugged, "устройство отключено"},
    {TMessage::ReasonNoAccess, "нет прав доступа"},
    {TMessage::ReasonDeviceBusy, "устройство занято другой программой"},
    {TMessage::ReasonConnectionRefused,
     "подключение отклонено: на этом порту принтер не принимает подключения"},
    {TMessage::ReasonTimedOut, "истекло время ожидания"},
    {TMessage::ReasonUnreachable, "адрес недоступен из этой сети"},
    {TMessage::ReasonConnectionReset, "принтер разорвал подключение"},
    {TMessage::ReasonNotAPrinterDevice, "это не устройство принтера"},
    {TMessage::AccessHint,
     "добавьте пользователя в группу {0} или установите правило udev packaging/70-quorvane.rules"},

    {TMessage::HelpCaption, "Справка"},
    {TMessage::DocumentCaption, "Документ"},
    {TMessage::LogViewerCaption, "Просмотр лога"},
    {TMessage::OpenFolderButton, "Открыть папку"},
    {TMessage::OpenFolderTooltip, "Открыть папку с логами"},
    {TMessage::NoLogFiles,
     "В папке {0} пока нет файлов лога. Лог ведётся, когда в настройках драйвера на странице «Настройка лога» "
     "включено «Вести лог»; записи появятся здесь при следующем обращении к драйверу."},
    {TMessage::FileReadFailed, "Не удалось прочитать файл {0}"},
    {TMessage::FileOpenFailed, "Не удалось открыть файл {0}: {1}"},
    {TMessage::FolderOpenFailed, "Не удалось открыть папку {0}"},
    {TMessage::WindowCreateFailed, "Не удалось создать окно «{0}»: {1}"},
    {TMessage::NoDisplay,
     "Нет графического экрана (не заданы DISPLAY и WAYLAND_DISPLAY): окно не может быть показано"},
    {TMessage::ViewerMissing, "Программа просмотра отсутствует в компоненте"},
    {TMessage::ViewerStartFailedIn, "Не удалось запустить программу просмотра (папки: {0})"},
    {TMessage::ViewerStartFailed, "Не удалось запустить программу просмотра"},
    {TMessage::ViewerKilled, "Программа просмотра прервана сигналом {0}"},
    {TMessage::ViewerExitCode, "Программа просмотра завершилась с кодом {0}"},

    {TMessage::BarcodeTypeUnknown, "Неизвестный тип штрихкода «{0}»; допустимы: {1}"},
    {TMessage::BarcodeLengthWrong, "Штрихкод {0} должен содержать {1} или {2} цифр, а содержит {3}"},
    {TMessage::BarcodeDataTooLong,
     "Слишком длинные данные штрихкода: {0} байт в команде (принтер принимает не более {1})"},
    {TMessage::FieldNumberUnreadable, "Некорректное число в атрибуте {1} поля «{0}»: \"{2}\""},
    {TMessage::FieldOutsideLabel, "Поле «{0}» выходит за пределы этикетки {1} x {2} мм: {3}"},
    {TMessage::OrientationInvalid,
     "Некорректный поворот (Orientation) у поля «{0}»: {1}; допустимо: 0, 90, 180, 270"},
    {TMessage::BorderWidthInvalid,
     "Слишком толстая рамка (BorderWidth) у поля «{0}»: {1} точек; допустимо не более {2}"},

    {TMessage::SysNoSuchFile, "нет такого файла или папки"},
    {TMessage::SysNotADirectory, "часть пути не является папкой"},
    {TMessage::SysIsADirectory, "это папка, а не файл"},
    {TMessage::SysReadOnlyFileSystem, "файловая система доступна только для чтения"},
    {TMessage::SysNoSpace, "на устройстве нет свободного места"},
    {TMessage::SysQuotaExceeded, "превышена дисковая квота"},
    {TMessage::SysIoError, "ошибка ввода-вывода"},
    {TMessage::SysInvalidArgument, "недопустимое значение параметра"},
    {TMessage::SysTryAgain, "ресурс временно недоступен"},
    {TMessage::SysInterrupted, "операция прервана"},
    {TMessage::SysSymbolicLink, "путь ведёт через символическую ссылку"},
    {TMessage::SysTooManyOpenFiles, "открыто слишком много файлов"},
    {TMessage::SysOutOfMemory, "не хватает памяти"},
    {TMessage::SysFileExists, "файл уже существует"},
    {TMessage::SysNameTooLong, "слишком длинное имя файла"},
    {TMessage::SysBadDescriptor, "файл не открыт"},
    {TMessage::SysNotSupported, "операция не поддерживается"},
    {TMessage::SysNetworkDown, "сеть не работает"},
    {TMessage::SysAddressNotAvailable, "адрес не принадлежит этому компьютеру"},
    {TMessage::SysUnknown, "системная ошибка {0}"},

    {TMessage::LogFolderUnusable, "Не удалось создать папку лога ни в одном из мест: {0}"},
    {TMessage::LogFileOpenFailed, "Не удалось открыть файл лога {0}: {1}"},
    {TMessage::LogFileLockFailed, "Не удалось заблокировать файл лога {0}: {1}"},
    {TMessage::LogFileWriteFailed, "Не удалось записать в файл лога {0}: {1}"},
    {TMessage::PortNotChosen, "не выбран порт: задайте {0}"},
    {TMessage::PrinterDidNotAnswer,
     "принтер не ответил на запрос состояния; этикетки отправлены без проверки"},
    {TMessage::ActionNotFound, "Нет такого дополнительного действия: «{0}»; есть: {1}"},

    {TMessage::BarcodeCharacterNotInCodepage,
     "Символ «{0}» ({1}) в данных штрихкода отсутствует в кодовой странице {2}"},
    {TMessage::CharacterSentAsQuestionMark,
     "Символ «{0}» ({1}) отсутствует в кодовой странице {2} и отправлен принтеру как «?»: {3}"},

    {TMessage::FindPlaceholder, "Найти в логе"},
    {TMessage::FindNextTooltip, "Следующее совпадение (Enter)"},
    {TMessage::FindPreviousTooltip, "Предыдущее совпадение (Shift+Enter)"},
    {TMessage::HelpBackTooltip, "Назад (Alt+Влево)"},
};

inline constexpr std::size_t kMessageCount = std::size(kMessages);

consteval bool InEnumOrder() {
    for (std::size_t i = 0; i < kMessageCount; ++i)
        if (static_cast<std::size_t>(kMessages[i].Id) != i) return false;
    return static_cast<std::size_t>(TMessage::HelpBackTooltip) + 1 == kMessageCount;
}
static_assert(InEnumOrder(), "one row per message, in the order of TMessage");

// How many arguments a text takes: one past its highest {n}.
constexpr std::size_t Arity(std::string_view AText) {
    std::size_t count = 0;
    for (std::size_t i = 0; i + 2 < AText.size(); ++i)
        if (AText[i] == '{' && AText[i + 1] >= '0' && AText[i + 1] <= '9' && AText[i + 2] == '}')
            count = std::max<std::size_t>(count, static_cast<std::size_t>(AText[i + 1] - '0') + 1);
    return count;
}

void MessageArgumentCountMismatch();  // never defined: reached only at compile time, as an error

// A message id that takes exactly N arguments; a wrong count does not compile.
template <std::size_t N>
struct TMessageWithArgs {
    consteval TMessageWithArgs(TMessage AId) : Id(AId) {
        if (Arity(kMessages[static_cast<std::size_t>(AId)].Text) != N) MessageArgumentCountMismatch();
    }
    TMessage Id;
};

inline std::string ArgText(std::string_view AValue) { return std::string(AValue); }
inline std::string ArgText(char AValue) { return std::string(1, AValue); }
template <std::integral T>
requires(!std::same_as<T, char> && !std::same_as<T, bool>) std::string ArgText(T AValue) {
    return std::to_string(AValue);
}

// AText with each {n} replaced by AArgs[n]; the arguments themselves are not searched again.
inline std::string Substitute(std::string_view AText, const std::string* AArgs, std::size_t ACount) {
    std::string out;
    out.reserve(AText.size() + 16 * ACount);
    for (std::size_t i = 0; i < AText.size(); ++i) {
        if (i + 2 < AText.size() && AText[i] == '{' && AText[i + 2] == '}' && AText[i + 1] >= '0' &&
            static_cast<std::size_t>(AText[i + 1] - '0') < ACount) {
            out += AArgs[AText[i + 1] - '0'];
            i += 2;
        } else {
            out += AText[i];
        }
    }
    return out;
}

}  // namespace detail

// The catalogue text of AId as it stands, placeholders included.
constexpr const char* MessageText(TMessage AId) {
    return detail::kMessages[static_cast<std::size_t>(AId)].Text;
}

// How many arguments AId's text takes.
constexpr std::size_t MessageArity(TMessage AId) { return detail::Arity(MessageText(AId)); }

// The text of AId with its arguments filled in (text as is, numbers in decimal, a char as itself).
template <class... TArgs>
std::string Message(std::type_identity_t<detail::TMessageWithArgs<sizeof...(TArgs)>> AId,
                    const TArgs&... AArgs) {
    if constexpr (sizeof...(TArgs) == 0) {
        return MessageText(AId.Id);
    } else {
        const std::string args[] = {detail::ArgText(AArgs)...};
        return detail::Substitute(MessageText(AId.Id), args, sizeof...(TArgs));
    }
}

// A failure whose text starts with a catalogue message; Id() says which, for callers and tests.
class TMessageError : public std::runtime_error {
public:
    template <class... TArgs>
    explicit TMessageError(std::type_identity_t<detail::TMessageWithArgs<sizeof...(TArgs)>> AId,
                           const TArgs&... AArgs)
        : std::runtime_error(Message<TArgs...>(AId, AArgs...)), FId(AId.Id) {}

    // AText built around AId's message (where and why after it).
    static TMessageError WithText(TMessage AId, const std::string& AText) {
        return TMessageError(TBuilt{}, AId, AText);
    }

    TMessage Id() const { return FId; }

private:
    struct TBuilt {};
    TMessageError(TBuilt, TMessage AId, const std::string& AText) : std::runtime_error(AText), FId(AId) {}
    TMessage FId;
};

}  // namespace quorvane
