#include "protocol/WordBasic.h"

#include "protocol/DocxWordBasic.h"

EWordBasic::EWordBasic(const QString& message)
    : std::runtime_error(message.toStdString())
{
}

std::unique_ptr<TWordBasic> CreateDocxWordBasic()
{
    return std::make_unique<TDocxWordBasic>();
}
