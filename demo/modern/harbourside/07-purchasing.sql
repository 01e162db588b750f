-- Harbourside: purchasing from suppliers.

-- @object User Defined Datatype | SupplierRef | 2008-02-11 09:31:07
CREATE TYPE dbo.SupplierRef FROM nvarchar(30) NOT NULL;

-- @object User Defined Datatype | Registration | 2010-04-19 08:55:41
CREATE TYPE dbo.Registration FROM varchar(10) NOT NULL;

-- @object User Defined Datatype | PostcodeUk | 2012-05-28 11:13:26
CREATE TYPE dbo.PostcodeUk FROM varchar(8) NULL;

-- @object User Defined Datatype | PurchaseLineList | 2016-03-09 08:40:12
CREATE TYPE dbo.PurchaseLineList AS TABLE (
    ProductId  int            NOT NULL PRIMARY KEY,
    Quantity   int            NOT NULL CHECK (Quantity > 0),
    UnitCost   decimal(19, 4) NOT NULL
);

-- @object User Defined Datatype | SkuList | 2017-08-14 10:21:55
CREATE TYPE dbo.SkuList AS TABLE (
    Sku varchar(20) NOT NULL PRIMARY KEY
);

-- @object Default | df_Draft | 2008-02-11 09:31:40
CREATE DEFAULT dbo.df_Draft AS 'DRAFT';

-- @object Default | df_StandardLeadDays | 2008-02-11 09:31:52
CREATE DEFAULT dbo.df_StandardLeadDays AS 14;

-- @object Default | df_Now | 2010-04-19 08:56:03
CREATE DEFAULT dbo.df_Now AS GETDATE();

-- @object Rule | rl_Registration | 2010-04-19 08:56:30
CREATE RULE dbo.rl_Registration AS @value LIKE '[A-Z][A-Z][0-9][0-9] [A-Z][A-Z][A-Z]' OR @value LIKE '[A-Z]%[0-9]%';

-- @object Rule | rl_Rating | 2018-06-05 14:23:10
CREATE RULE dbo.rl_Rating AS @value BETWEEN 1 AND 5;

-- @object Rule | rl_CurrencyCode | 2014-01-20 09:02:48
CREATE RULE dbo.rl_CurrencyCode AS @value LIKE '[A-Z][A-Z][A-Z]';

-- @object User Table | PurchaseOrder | 2008-02-11 09:40:29
CREATE TABLE dbo.PurchaseOrder (
    PurchaseOrderId int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_PurchaseOrder PRIMARY KEY,
    SupplierId     int          NOT NULL CONSTRAINT FK_PurchaseOrder_Supplier REFERENCES dbo.Supplier (SupplierId),
    WarehouseId    tinyint      NOT NULL CONSTRAINT FK_PurchaseOrder_Warehouse REFERENCES dbo.Warehouse (WarehouseId),
    RaisedOn       date         NOT NULL,
    ExpectedOn     date         NULL,
    Status         varchar(10)  NOT NULL CONSTRAINT DF_PurchaseOrder_Status DEFAULT ('DRAFT')
                       CONSTRAINT CK_PurchaseOrder_Status CHECK (Status IN ('DRAFT', 'APPROVED', 'SENT', 'RECEIVED', 'CANCELLED')),
    TotalCost      dbo.Money4   NOT NULL CONSTRAINT DF_PurchaseOrder_TotalCost DEFAULT (0),
    UpdatedAt      datetime2(0) NULL,
    CONSTRAINT CK_PurchaseOrder_Expected CHECK (ExpectedOn IS NULL OR ExpectedOn >= RaisedOn)
);

-- @object Stored Procedure | usp_RaisePurchaseOrder | 2008-02-11 09:56:31
CREATE PROCEDURE dbo.usp_RaisePurchaseOrder
    @SupplierId  int,
    @WarehouseId tinyint,
    @RaisedOn    date,
    @ExpectedOn  date,
    @PurchaseOrderId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Supplier WHERE SupplierId = @SupplierId)
    BEGIN
        RAISERROR(N'Supplier %d does not exist.', 16, 1, @SupplierId);
        RETURN 1;
    END;
    BEGIN TRY
        BEGIN TRANSACTION;
            INSERT INTO dbo.PurchaseOrder (SupplierId, WarehouseId, RaisedOn, ExpectedOn)
            VALUES (@SupplierId, @WarehouseId, @RaisedOn, @ExpectedOn);
            SET @PurchaseOrderId = SCOPE_IDENTITY();
            INSERT INTO dbo.PurchaseOrderHistory (PurchaseOrderId, Note)
            VALUES (@PurchaseOrderId, CONCAT(N'Created by ', SUSER_SNAME()));
        COMMIT TRANSACTION;
    END TRY
    BEGIN CATCH
        IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
        THROW;
    END CATCH;
END;

-- @object Stored Procedure | usp_ApprovePurchaseOrder | 2008-02-11 10:15:21
CREATE PROCEDURE dbo.usp_ApprovePurchaseOrder
    @PurchaseOrderId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.PurchaseOrder
           SET Status = 'APPROVED', UpdatedAt = SYSUTCDATETIME()
         WHERE PurchaseOrderId = @PurchaseOrderId AND Status IN ('DRAFT');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Purchase order %d is not DRAFT; it cannot move to APPROVED.', 16, 1, @PurchaseOrderId);
            RETURN 1;
        END;
        INSERT INTO dbo.PurchaseOrderHistory (PurchaseOrderId, Note)
        VALUES (@PurchaseOrderId, ISNULL(@Note, N'Approved'));
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_SendPurchaseOrder | 2008-02-11 10:45:04
CREATE PROCEDURE dbo.usp_SendPurchaseOrder
    @PurchaseOrderId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.PurchaseOrder
           SET Status = 'SENT', UpdatedAt = SYSUTCDATETIME()
         WHERE PurchaseOrderId = @PurchaseOrderId AND Status IN ('APPROVED');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Purchase order %d is not APPROVED; it cannot move to SENT.', 16, 1, @PurchaseOrderId);
            RETURN 1;
        END;
        INSERT INTO dbo.PurchaseOrderHistory (PurchaseOrderId, Note)
        VALUES (@PurchaseOrderId, ISNULL(@Note, N'Sent'));
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_CancelPurchaseOrder | 2008-02-11 10:55:35
CREATE PROCEDURE dbo.usp_CancelPurchaseOrder
    @PurchaseOrderId int
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.PurchaseOrder
           SET Status = 'CANCELLED', UpdatedAt = SYSUTCDATETIME()
         WHERE PurchaseOrderId = @PurchaseOrderId AND Status IN ('DRAFT', 'APPROVED');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Purchase order %d is not DRAFT or APPROVED; it cannot move to CANCELLED.', 16, 1, @PurchaseOrderId);
            RETURN 1;
        END;
        INSERT INTO dbo.PurchaseOrderHistory (PurchaseOrderId, Note)
        VALUES (@PurchaseOrderId, N'Cancelled');
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_OpenPurchaseOrders | 2008-10-13 16:20:37
CREATE VIEW dbo.vw_OpenPurchaseOrders
AS
SELECT po.PurchaseOrderId,
       s.Name AS SupplierName,
       po.SupplierId,
       po.WarehouseId,
       po.RaisedOn,
       po.ExpectedOn,
       po.Status
  FROM dbo.PurchaseOrder AS po
  JOIN dbo.Supplier AS s ON s.SupplierId = po.SupplierId
 WHERE po.Status IN ('DRAFT', 'APPROVED');

-- @object View | vw_SupplierSpend | 2008-02-11 11:40:55
CREATE VIEW dbo.vw_SupplierSpend
WITH SCHEMABINDING
AS
SELECT s.SupplierId, s.Name,
       COUNT_BIG(*) AS PurchaseOrders,
       SUM(ISNULL(po.TotalCost, 0)) AS TotalCost,
       MIN(po.RaisedOn) AS FirstRaisedOn, MAX(po.RaisedOn) AS LastRaisedOn
  FROM dbo.PurchaseOrder AS po
  JOIN dbo.Supplier AS s ON s.SupplierId = po.SupplierId
 GROUP BY s.SupplierId, s.Name;

-- @object Stored Procedure | usp_FindPurchaseOrders | 2008-02-11 11:49:59
CREATE PROCEDURE dbo.usp_FindPurchaseOrders
    @SupplierId int = NULL,
    @From date = NULL,
    @To   date = NULL,
    @Status varchar(10) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SELECT po.PurchaseOrderId, po.SupplierId, po.WarehouseId, po.RaisedOn, po.ExpectedOn, s.Name
      FROM dbo.PurchaseOrder AS po
      JOIN dbo.Supplier AS s ON s.SupplierId = po.SupplierId
     WHERE (@SupplierId IS NULL OR po.SupplierId = @SupplierId)
       AND (@From IS NULL OR po.RaisedOn >= @From)
       AND (@To IS NULL OR po.RaisedOn < DATEADD(day, 1, @To))
       AND (@Status IS NULL OR po.Status = @Status)
     ORDER BY po.RaisedOn DESC;
END;

-- @object Stored Procedure | usp_SupplierSpendReport | 2008-11-23 17:08:22
CREATE PROCEDURE dbo.usp_SupplierSpendReport
    @From date,
    @To   date,
    @AtLeast int = 1
AS
BEGIN
    SET NOCOUNT ON;
    SELECT s.Name,
           COUNT(*) AS PurchaseOrders,
           SUM(po.TotalCost) AS TotalCost,
           MAX(po.TotalCost) AS LargestTotalCost,
           SUM(CASE WHEN po.Status = 'CANCELLED' THEN 1 ELSE 0 END) AS Cancelled
      FROM dbo.PurchaseOrder AS po
      JOIN dbo.Supplier AS s ON s.SupplierId = po.SupplierId
     WHERE po.RaisedOn >= @From AND po.RaisedOn < DATEADD(day, 1, @To)
     GROUP BY s.Name
     HAVING COUNT(*) >= @AtLeast
     ORDER BY TotalCost DESC;
END;

-- @object Trigger | tr_PurchaseOrder_History | 2008-02-11 12:26:36
CREATE TRIGGER dbo.tr_PurchaseOrder_History ON dbo.PurchaseOrder
AFTER UPDATE
AS
BEGIN
    SET NOCOUNT ON;
    IF NOT UPDATE(Status) RETURN;
    INSERT INTO dbo.PurchaseOrderHistory (PurchaseOrderId, Note)
    SELECT i.PurchaseOrderId, CONCAT(d.Status, N' -> ', i.Status)
      FROM inserted AS i
      JOIN deleted AS d ON d.PurchaseOrderId = i.PurchaseOrderId
     WHERE d.Status <> i.Status;
END;

-- @object Trigger | tr_PurchaseOrder_Touch | 2008-02-11 12:43:05
CREATE TRIGGER dbo.tr_PurchaseOrder_Touch ON dbo.PurchaseOrder
AFTER UPDATE
AS
BEGIN
    SET NOCOUNT ON;
    IF UPDATE(UpdatedAt) RETURN; -- our own update, or the caller set it
    UPDATE t SET UpdatedAt = SYSUTCDATETIME()
      FROM dbo.PurchaseOrder AS t
      JOIN inserted AS i ON i.PurchaseOrderId = t.PurchaseOrderId;
END;

-- @object User Defined Function | fn_SupplierCommitted | 2009-12-28 15:59:46
CREATE FUNCTION dbo.fn_SupplierCommitted (@SupplierId int, @AsAt date)
RETURNS decimal(19, 4)
WITH SCHEMABINDING
AS
BEGIN
    RETURN (SELECT ISNULL(SUM(TotalCost), 0) FROM dbo.PurchaseOrder WHERE SupplierId = @SupplierId AND Status <> 'CANCELLED' AND RaisedOn <= @AsAt);
END;

-- @object Trigger | tr_PurchaseOrder_NoDelete | 2008-11-20 14:03:08
CREATE TRIGGER dbo.tr_PurchaseOrder_NoDelete ON dbo.PurchaseOrder
INSTEAD OF DELETE
AS
BEGIN
    SET NOCOUNT ON;
    IF EXISTS (SELECT 1 FROM deleted WHERE Status <> 'DRAFT')
    BEGIN
        RAISERROR(N'Only purchase order rows still at DRAFT can be deleted; the others are kept for the record.', 16, 1);
        RETURN;
    END;
    DELETE t FROM dbo.PurchaseOrder AS t JOIN deleted AS d ON d.PurchaseOrderId = t.PurchaseOrderId;
END;

-- @object User Table | PurchaseOrderHistory | 2008-02-11 09:41:32
CREATE TABLE dbo.PurchaseOrderHistory (
    HistoryId       bigint IDENTITY(1, 1) NOT NULL CONSTRAINT PK_PurchaseOrderHistory PRIMARY KEY,
    PurchaseOrderId int           NOT NULL CONSTRAINT FK_PurchaseOrderHistory_Order REFERENCES dbo.PurchaseOrder (PurchaseOrderId),
    Note            nvarchar(200) NOT NULL,
    ChangedAt       datetime2(0)  NOT NULL CONSTRAINT DF_PurchaseOrderHistory_ChangedAt DEFAULT (SYSUTCDATETIME()),
    ChangedBy       sysname       NOT NULL CONSTRAINT DF_PurchaseOrderHistory_ChangedBy DEFAULT (SUSER_SNAME())
);

-- @object User Defined Function | fn_PurchaseOrderTrail | 2008-02-11 09:45:10
CREATE FUNCTION dbo.fn_PurchaseOrderTrail (@PurchaseOrderId int)
RETURNS TABLE
AS
RETURN
    SELECT poh.HistoryId, poh.PurchaseOrderId, poh.Note, poh.ChangedAt, poh.ChangedBy
      FROM dbo.PurchaseOrderHistory AS poh
     WHERE poh.PurchaseOrderId = @PurchaseOrderId;

-- @object Stored Procedure | usp_PurgePurchaseOrderHistory | 2010-03-25 15:00:32
CREATE PROCEDURE dbo.usp_PurgePurchaseOrderHistory
    @KeepMonths int = 24,
    @BatchSize  int = 5000
AS
BEGIN
    SET NOCOUNT ON;
    DECLARE @Cutoff date = DATEADD(month, -@KeepMonths, CONVERT(date, GETDATE()));
    DECLARE @Deleted int = 1, @Total int = 0;
    WHILE @Deleted > 0
    BEGIN
        BEGIN TRANSACTION;
            DELETE TOP (@BatchSize) FROM dbo.PurchaseOrderHistory
             WHERE ChangedAt < @Cutoff;
            SET @Deleted = @@ROWCOUNT;
        COMMIT TRANSACTION;
        SET @Total += @Deleted;
        CHECKPOINT;
    END;
    PRINT CONCAT(@Total, N' purchase order history rows removed.');
END;

-- @object User Table | PurchaseOrderLine | 2008-02-11 09:43:18
CREATE TABLE dbo.PurchaseOrderLine (
    PurchaseOrderId int            NOT NULL CONSTRAINT FK_PurchaseOrderLine_Order REFERENCES dbo.PurchaseOrder (PurchaseOrderId) ON DELETE CASCADE,
    LineNo          smallint       NOT NULL,
    ProductId       int            NOT NULL CONSTRAINT FK_PurchaseOrderLine_Product REFERENCES dbo.Product (ProductId),
    Quantity        int            NOT NULL CONSTRAINT CK_PurchaseOrderLine_Quantity CHECK (Quantity > 0),
    UnitCost        decimal(19, 4) NOT NULL,
    LineCost        AS (Quantity * UnitCost) PERSISTED,
    QuantityReceived int           NOT NULL CONSTRAINT DF_PurchaseOrderLine_Received DEFAULT (0),
    CONSTRAINT PK_PurchaseOrderLine PRIMARY KEY (PurchaseOrderId, LineNo)
);

-- @object Trigger | tr_PurchaseOrderLine_Total | 2010-05-29 13:51:58
CREATE TRIGGER dbo.tr_PurchaseOrderLine_Total ON dbo.PurchaseOrderLine
AFTER INSERT, UPDATE, DELETE
AS
BEGIN
    SET NOCOUNT ON;
    -- keep the purchase order total in step with its lines
    UPDATE p SET TotalCost = ISNULL((SELECT SUM(x.LineCost) FROM dbo.PurchaseOrderLine AS x WHERE x.PurchaseOrderId = p.PurchaseOrderId), 0)
      FROM dbo.PurchaseOrder AS p
     WHERE p.PurchaseOrderId IN (SELECT PurchaseOrderId FROM inserted UNION SELECT PurchaseOrderId FROM deleted);
END;

-- @object User Defined Function | fn_PurchaseOrderCost | 2008-02-11 10:03:54
CREATE FUNCTION dbo.fn_PurchaseOrderCost (@PurchaseOrderId int)
RETURNS decimal(19, 4)
WITH SCHEMABINDING
AS
BEGIN
    RETURN (SELECT ISNULL(SUM(LineCost), 0) FROM dbo.PurchaseOrderLine WHERE PurchaseOrderId = @PurchaseOrderId);
END;

-- @object User Defined Function | fn_PurchaseOrderLines | 2008-02-11 10:37:07
CREATE FUNCTION dbo.fn_PurchaseOrderLines (@PurchaseOrderId int)
RETURNS TABLE
AS
RETURN
    SELECT pol.PurchaseOrderId, pol.LineNo, pol.ProductId, pol.Quantity, pol.UnitCost
      FROM dbo.PurchaseOrderLine AS pol
     WHERE pol.PurchaseOrderId = @PurchaseOrderId;

-- @object User Table | GoodsReceipt | 2008-03-03 14:12:48
CREATE TABLE dbo.GoodsReceipt (
    ReceiptId       int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_GoodsReceipt PRIMARY KEY,
    PurchaseOrderId int           NOT NULL CONSTRAINT FK_GoodsReceipt_Order REFERENCES dbo.PurchaseOrder (PurchaseOrderId),
    ReceivedOn      date          NOT NULL,
    DeliveryNote    nvarchar(40)  NULL,
    Quantity        int           NOT NULL CONSTRAINT CK_GoodsReceipt_Quantity CHECK (Quantity > 0),
    CheckedBy       sysname       NOT NULL CONSTRAINT DF_GoodsReceipt_CheckedBy DEFAULT (SUSER_SNAME())
);

-- @object Stored Procedure | usp_BookGoodsIn | 2008-03-03 14:35:24
CREATE PROCEDURE dbo.usp_BookGoodsIn
    @PurchaseOrderId int,
    @ReceivedOn      date,
    @DeliveryNote    nvarchar(40),
    @Quantity        int,
    @ReceiptId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.PurchaseOrder WHERE PurchaseOrderId = @PurchaseOrderId)
    BEGIN
        RAISERROR(N'Purchase order %d does not exist.', 16, 1, @PurchaseOrderId);
        RETURN 1;
    END;
    BEGIN TRANSACTION;
        INSERT INTO dbo.GoodsReceipt (PurchaseOrderId, ReceivedOn, DeliveryNote, Quantity)
        VALUES (@PurchaseOrderId, @ReceivedOn, @DeliveryNote, @Quantity);
        SET @ReceiptId = SCOPE_IDENTITY();
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_ReceiptsByMonth | 2008-03-03 14:59:35
CREATE VIEW dbo.vw_ReceiptsByMonth
AS
SELECT YEAR(gr.ReceivedOn) AS [Year], MONTH(gr.ReceivedOn) AS [Month],
       COUNT(*) AS GoodsReceipts,
       SUM(gr.Quantity) AS TotalQuantity,
       AVG(gr.Quantity) AS AverageQuantity
  FROM dbo.GoodsReceipt AS gr
 GROUP BY YEAR(gr.ReceivedOn), MONTH(gr.ReceivedOn);

-- @object Stored Procedure | usp_FindGoodsReceipts | 2008-03-03 15:15:05
CREATE PROCEDURE dbo.usp_FindGoodsReceipts
    @PurchaseOrderId int = NULL,
    @DeliveryNoteLike nvarchar(60) = NULL,
    @From date = NULL,
    @To   date = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SELECT gr.ReceiptId, gr.PurchaseOrderId, gr.ReceivedOn, gr.DeliveryNote, gr.Quantity, po.RaisedOn
      FROM dbo.GoodsReceipt AS gr
      JOIN dbo.PurchaseOrder AS po ON po.PurchaseOrderId = gr.PurchaseOrderId
     WHERE (@PurchaseOrderId IS NULL OR gr.PurchaseOrderId = @PurchaseOrderId)
       AND (@DeliveryNoteLike IS NULL OR gr.DeliveryNote LIKE @DeliveryNoteLike + N'%')
       AND (@From IS NULL OR gr.ReceivedOn >= @From)
       AND (@To IS NULL OR gr.ReceivedOn < DATEADD(day, 1, @To))
     ORDER BY gr.ReceivedOn DESC;
END;

-- @object User Defined Function | fn_WeeklyReceipts | 2009-02-05 16:45:21
CREATE FUNCTION dbo.fn_WeeklyReceipts (@From date, @To date)
RETURNS @Result TABLE (
    Week      date NOT NULL PRIMARY KEY,
    GoodsReceipts int  NOT NULL,
    Total     int NULL
)
AS
BEGIN
    DECLARE @Week date = DATEADD(day, 1 - DATEPART(weekday, @From), @From);
    WHILE @Week <= @To
    BEGIN
        INSERT INTO @Result (Week, GoodsReceipts, Total)
        SELECT @Week, COUNT(*), SUM(gr.Quantity)
          FROM dbo.GoodsReceipt AS gr
         WHERE gr.ReceivedOn >= @Week AND gr.ReceivedOn < DATEADD(day, 7, @Week);
        SET @Week = DATEADD(day, 7, @Week);
    END;
    RETURN;
END;

-- @object User Table | SupplierInvoice | 2008-06-23 10:05:09
CREATE TABLE dbo.SupplierInvoice (
    SupplierInvoiceId int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_SupplierInvoice PRIMARY KEY,
    SupplierId      int           NOT NULL CONSTRAINT FK_SupplierInvoice_Supplier REFERENCES dbo.Supplier (SupplierId),
    TheirReference  nvarchar(30)  NOT NULL,
    InvoiceDate     date          NOT NULL,
    Amount          dbo.Money4    NOT NULL,
    Status          char(4)       NOT NULL CONSTRAINT DF_SupplierInvoice_Status DEFAULT ('HELD')
                        CONSTRAINT CK_SupplierInvoice_Status CHECK (Status IN ('HELD', 'OK', 'PAID', 'VOID')),
    CONSTRAINT UQ_SupplierInvoice_Reference UNIQUE (SupplierId, TheirReference)
);

-- @object Stored Procedure | usp_EnterSupplierInvoice | 2008-06-23 10:20:29
CREATE PROCEDURE dbo.usp_EnterSupplierInvoice
    @SupplierId     int,
    @TheirReference nvarchar(30),
    @InvoiceDate    date,
    @Amount         dbo.Money4,
    @SupplierInvoiceId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Supplier WHERE SupplierId = @SupplierId)
    BEGIN
        RAISERROR(N'Supplier %d does not exist.', 16, 1, @SupplierId);
        RETURN 1;
    END;
    BEGIN TRY
        BEGIN TRANSACTION;
            INSERT INTO dbo.SupplierInvoice (SupplierId, TheirReference, InvoiceDate, Amount)
            VALUES (@SupplierId, @TheirReference, @InvoiceDate, @Amount);
            SET @SupplierInvoiceId = SCOPE_IDENTITY();
        COMMIT TRANSACTION;
    END TRY
    BEGIN CATCH
        IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
        THROW;
    END CATCH;
END;

-- @object Stored Procedure | usp_PassSupplierInvoice | 2008-06-23 10:40:38
CREATE PROCEDURE dbo.usp_PassSupplierInvoice
    @SupplierInvoiceId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.SupplierInvoice
           SET Status = 'OK'
         WHERE SupplierInvoiceId = @SupplierInvoiceId AND Status IN ('HELD');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Supplier invoice %d is not HELD; it cannot move to OK.', 16, 1, @SupplierInvoiceId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_PaySupplierInvoice | 2008-06-23 11:10:39
CREATE PROCEDURE dbo.usp_PaySupplierInvoice
    @SupplierInvoiceId int
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.SupplierInvoice
           SET Status = 'PAID'
         WHERE SupplierInvoiceId = @SupplierInvoiceId AND Status IN ('OK');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Supplier invoice %d is not OK; it cannot move to PAID.', 16, 1, @SupplierInvoiceId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_VoidSupplierInvoice | 2008-06-23 11:16:07
CREATE PROCEDURE dbo.usp_VoidSupplierInvoice
    @SupplierInvoiceId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.SupplierInvoice
           SET Status = 'VOID'
         WHERE SupplierInvoiceId = @SupplierInvoiceId AND Status IN ('HELD', 'OK');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Supplier invoice %d is not HELD or OK; it cannot move to VOID.', 16, 1, @SupplierInvoiceId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_SupplierInvoicesToPass | 2008-06-23 11:38:58
CREATE VIEW dbo.vw_SupplierInvoicesToPass
AS
SELECT si.SupplierInvoiceId,
       s.Name AS SupplierName,
       si.SupplierId,
       si.TheirReference,
       si.InvoiceDate,
       si.Amount,
       si.Status
  FROM dbo.SupplierInvoice AS si
  JOIN dbo.Supplier AS s ON s.SupplierId = si.SupplierId
 WHERE si.Status IN ('HELD', 'OK');

-- @object View | vw_PurchaseLedgerByMonth | 2008-06-23 12:11:13
CREATE VIEW dbo.vw_PurchaseLedgerByMonth
AS
SELECT YEAR(si.InvoiceDate) AS [Year], MONTH(si.InvoiceDate) AS [Month],
       COUNT(*) AS SupplierInvoices,
       SUM(si.Amount) AS TotalAmount,
       AVG(si.Amount) AS AverageAmount
  FROM dbo.SupplierInvoice AS si
 WHERE si.Status <> 'VOID'
 GROUP BY YEAR(si.InvoiceDate), MONTH(si.InvoiceDate);

-- @object User Defined Function | fn_SupplierOwed | 2009-12-19 17:26:35
CREATE FUNCTION dbo.fn_SupplierOwed (@SupplierId int)
RETURNS decimal(19, 4)
WITH SCHEMABINDING
AS
BEGIN
    RETURN (SELECT ISNULL(SUM(Amount), 0) FROM dbo.SupplierInvoice WHERE SupplierId = @SupplierId AND Status <> 'VOID');
END;

-- @object Stored Procedure | usp_PurchaseLedgerReport | 2008-11-08 14:33:13
CREATE PROCEDURE dbo.usp_PurchaseLedgerReport
    @From date,
    @To   date,
    @AtLeast int = 1
AS
BEGIN
    SET NOCOUNT ON;
    SELECT s.Name,
           COUNT(*) AS SupplierInvoices,
           SUM(si.Amount) AS TotalAmount,
           MAX(si.Amount) AS LargestAmount,
           SUM(CASE WHEN si.Status = 'VOID' THEN 1 ELSE 0 END) AS Void
      FROM dbo.SupplierInvoice AS si
      JOIN dbo.Supplier AS s ON s.SupplierId = si.SupplierId
     WHERE si.InvoiceDate >= @From AND si.InvoiceDate < DATEADD(day, 1, @To)
     GROUP BY s.Name
     HAVING COUNT(*) >= @AtLeast
     ORDER BY TotalAmount DESC;
END;

-- @object User Table | SupplierContact | 2009-11-16 16:20:43
CREATE TABLE dbo.SupplierContact (
    ContactId   int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_SupplierContact PRIMARY KEY,
    SupplierId  int              NOT NULL CONSTRAINT FK_SupplierContact_Supplier REFERENCES dbo.Supplier (SupplierId),
    FullName    nvarchar(100)    NOT NULL,
    Role        nvarchar(40)     NULL,
    Phone       dbo.PhoneNumber,
    Email       dbo.EmailAddress,
    IsPrimary   bit              NOT NULL CONSTRAINT DF_SupplierContact_IsPrimary DEFAULT (0)
);

-- @object Stored Procedure | usp_AddSupplierContact | 2009-11-16 16:31:24
CREATE PROCEDURE dbo.usp_AddSupplierContact
    @SupplierId int,
    @FullName   nvarchar(100),
    @Role       nvarchar(40),
    @Phone      dbo.PhoneNumber,
    @Email      dbo.EmailAddress,
    @ContactId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Supplier WHERE SupplierId = @SupplierId)
    BEGIN
        RAISERROR(N'Supplier %d does not exist.', 16, 1, @SupplierId);
        RETURN 1;
    END;
    BEGIN TRANSACTION;
        INSERT INTO dbo.SupplierContact (SupplierId, FullName, Role, Phone, Email)
        VALUES (@SupplierId, @FullName, @Role, @Phone, @Email);
        SET @ContactId = SCOPE_IDENTITY();
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_SupplierContacts | 2009-11-16 17:02:38
CREATE VIEW dbo.vw_SupplierContacts
AS
SELECT sc.ContactId,
       s.Name AS SupplierName,
       sc.SupplierId,
       sc.FullName,
       sc.Role,
       sc.Phone,
       sc.Email
  FROM dbo.SupplierContact AS sc
  JOIN dbo.Supplier AS s ON s.SupplierId = sc.SupplierId;

-- @object Stored Procedure | usp_FindSupplierContact | 2009-11-16 17:10:04
CREATE PROCEDURE dbo.usp_FindSupplierContact
    @SupplierId int = NULL,
    @FullNameLike nvarchar(60) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SELECT sc.ContactId, sc.SupplierId, sc.FullName, sc.Role, sc.Phone, s.Name
      FROM dbo.SupplierContact AS sc
      JOIN dbo.Supplier AS s ON s.SupplierId = sc.SupplierId
     WHERE (@SupplierId IS NULL OR sc.SupplierId = @SupplierId)
       AND (@FullNameLike IS NULL OR sc.FullName LIKE @FullNameLike + N'%')
     ORDER BY sc.ContactId;
END;
