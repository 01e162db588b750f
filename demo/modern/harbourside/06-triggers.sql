-- Harbourside: triggers.

-- @object Trigger | tr_SalesOrder_Audit | 2013-10-02 17:30:12
CREATE TRIGGER dbo.tr_SalesOrder_Audit ON dbo.SalesOrder
AFTER INSERT, UPDATE
AS
BEGIN
    SET NOCOUNT ON;
    IF NOT UPDATE(Status) RETURN;
    INSERT INTO dbo.OrderAudit (OrderId, OldStatus, NewStatus)
    SELECT i.OrderId, d.Status, i.Status
      FROM inserted AS i
      LEFT JOIN deleted AS d ON d.OrderId = i.OrderId
     WHERE d.Status IS NULL OR d.Status <> i.Status;
END;

-- @object Trigger | tr_SalesOrder_NoDelete | 2006-04-12 16:00:00
CREATE TRIGGER dbo.tr_SalesOrder_NoDelete ON dbo.SalesOrder
INSTEAD OF DELETE
AS
BEGIN
    SET NOCOUNT ON;
    IF EXISTS (SELECT 1 FROM deleted WHERE Status <> 'INVOICED')
    BEGIN
        RAISERROR(N'Only invoiced orders may be deleted (by the archive job); cancel the others.', 16, 1);
        RETURN;
    END;
    DELETE o FROM dbo.SalesOrder AS o JOIN deleted AS d ON d.OrderId = o.OrderId;
END;

-- @object Trigger | tr_Customer_CodeUpper | 2006-04-05 10:10:10
CREATE TRIGGER dbo.tr_Customer_CodeUpper ON dbo.Customer
AFTER INSERT, UPDATE
AS
BEGIN
    SET NOCOUNT ON;
    UPDATE c SET Code = UPPER(c.Code)
      FROM dbo.Customer AS c JOIN inserted AS i ON i.CustomerId = c.CustomerId
     WHERE c.Code COLLATE Latin1_General_BIN <> UPPER(c.Code);
END;

-- @object Trigger | tr_Payment_Overpaid | 2006-04-20 09:40:05
CREATE TRIGGER dbo.tr_Payment_Overpaid ON dbo.Payment
AFTER INSERT
AS
BEGIN
    SET NOCOUNT ON;
    IF EXISTS (SELECT 1 FROM dbo.Invoice AS v JOIN inserted AS i ON i.InvoiceId = v.InvoiceId
                WHERE v.PaidAmount > v.NetAmount + v.TaxAmount + 0.01)
    BEGIN
        ROLLBACK TRANSACTION;
        THROW 50060, N'The payment would overpay the invoice; record a credit note instead.', 1;
    END;
END;

-- @object Trigger | tr_Product_PriceHistory | 2011-05-09 11:45:19
CREATE TRIGGER dbo.tr_Product_PriceHistory ON dbo.Product
AFTER UPDATE
AS
BEGIN
    SET NOCOUNT ON;
    IF UPDATE(ListPrice)
        INSERT INTO dbo.StockMovement (WarehouseId, ProductId, Quantity, Reason, MovedBy)
        SELECT 0, i.ProductId, 0, 'ADJUST', CONCAT(SUSER_SNAME(), N': price ', d.ListPrice, N' -> ', i.ListPrice)
          FROM inserted AS i JOIN deleted AS d ON d.ProductId = i.ProductId
         WHERE i.ListPrice <> d.ListPrice;
END;

-- @object Trigger | tr_Stock_NotNegative | 2007-02-01 16:30:44
CREATE TRIGGER dbo.tr_Stock_NotNegative ON dbo.Stock
AFTER UPDATE
AS
BEGIN
    SET NOCOUNT ON;
    IF EXISTS (SELECT 1 FROM inserted WHERE OnHand < 0)
    BEGIN
        ROLLBACK TRANSACTION;
        RAISERROR(N'Stock on hand cannot go below zero.', 16, 1);
    END;
END;

-- @object Trigger | tr_Shipment_Delivered | 2011-03-29 14:02:33
CREATE TRIGGER dbo.tr_Shipment_Delivered ON dbo.Shipment
AFTER UPDATE
AS
BEGIN
    SET NOCOUNT ON;
    IF UPDATE(DeliveredAt)
        UPDATE o SET Notes = CONCAT(o.Notes, N' Delivered ', CONVERT(nvarchar(20), i.DeliveredAt, 120), N'.')
          FROM dbo.SalesOrder AS o JOIN inserted AS i ON i.OrderId = o.OrderId
         WHERE i.DeliveredAt IS NOT NULL;
END;

-- @object Trigger | tr_Promotion_Overlap | 2012-04-17 09:30:00
CREATE TRIGGER dbo.tr_Promotion_Overlap ON dbo.Promotion
AFTER INSERT, UPDATE
AS
BEGIN
    SET NOCOUNT ON;
    IF EXISTS (SELECT 1 FROM inserted WHERE EndsOn < StartsOn)
        THROW 50070, N'A promotion must end on or after the day it starts.', 1;
END;
