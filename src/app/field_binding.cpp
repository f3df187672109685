#include "app/field_binding.h"

#include <QLineEdit>

namespace vireon {

void BindField(QLineEdit* field, FieldBinding binding) {
  QObject::connect(field, &QLineEdit::editingFinished, field,
                   [field, binding = std::move(binding)] {
                     if (!field->isModified()) return;
                     field->setModified(false);
                     const bool taken = binding.set(field->text());
                     field->setText(binding.show());
                     if (!taken && binding.onRefusal == OnRefusal::kRefocus) {
                       field->setFocus();
                       field->selectAll();
                     }
                     if (binding.after) binding.after();
                   });
}

}  // namespace vireon
